// What the rest of the library uses of the store: writes with full rights,
// the raw text and number of a value, the port settings and the name index.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <tallyx/tallyx.h>

#include "properties/property_name_index.h"
#include "properties/property_store.h"

namespace tallyx {
namespace {

TEST(LibraryWrites, SkipRightsAndChecksButCutToTheMaximum) {
    PropertyStore store;
    EXPECT_EQ(store.Set(PROPERTY_DEV_SERIALNO, "SN-0042", false), RETCODE_OK);
    EXPECT_STREQ(store.Text(PROPERTY_DEV_SERIALNO), "SN-0042");
    EXPECT_EQ(store.Set(PROPERTY_DEV_UNITTYPE, "ZK110-EXTRA", false), RETCODE_OK);
    EXPECT_STREQ(store.Text(PROPERTY_DEV_UNITTYPE), "ZK110-");
    EXPECT_EQ(store.Set(PROPERTY_COMM_BAUD, " 9600 baud", false), RETCODE_OK);
    EXPECT_STREQ(store.Text(PROPERTY_COMM_BAUD), " 9600 baud");
    EXPECT_EQ(store.Set(PROPERTY_STUDY_CITY, "", false), RETCODE_OK);
    EXPECT_EQ(store.Set("PROPERTY_NONE", "x", false), RETCODE_ERR_INVALIDPROPERTY);
    EXPECT_EQ(store.Set(PROPERTY_DEV_STATISTICS, std::string(1024, 's').c_str(), false), RETCODE_ERR_BUFFERTOOSMALL);
}

TEST(LibraryWrites, AreNeverUnitConverted) {
    PropertyStore store;
    ASSERT_EQ(store.Set(PROPERTY_STUDY_MEASUREMENTUNITS, STUDY_MEASUREMENTUNITS_METRIC, true), RETCODE_OK);
    EXPECT_TRUE(store.IsMetric());
    ASSERT_EQ(store.Set(PROPERTY_STUDY_SPEEDLIMIT, "55", false), RETCODE_OK);
    char buffer[16];
    ASSERT_EQ(store.Get(PROPERTY_STUDY_SPEEDLIMIT, buffer, sizeof buffer, false), RETCODE_OK);
    EXPECT_STREQ(buffer, "55");
    // 55 mph = 88.51 km/h, rounded 89; 90 km/h would be 55.92 mph (56), but
    // 88 km/h is 54.68 mph (55), so the caller sees 88.
    ASSERT_EQ(store.Get(PROPERTY_STUDY_SPEEDLIMIT, buffer, sizeof buffer, true), RETCODE_OK);
    EXPECT_STREQ(buffer, "88");
}

TEST(StoredText, IsACopyThatUnknownNamesLeaveEmpty) {
    PropertyStore store;
    EXPECT_STREQ(store.Text(PROPERTY_COMM_BAUD), "57600");
    EXPECT_STREQ(store.Text("NO_SUCH_NAME"), "");
    EXPECT_STREQ(store.Text(nullptr), "");
    ASSERT_EQ(store.Set(PROPERTY_COMM_LOGFOLDER, std::string(1023, 'd').c_str(), false), RETCODE_OK);
    EXPECT_EQ(std::strlen(store.Text(PROPERTY_COMM_LOGFOLDER)), 1023u);
}

TEST(StoredText, EachThreadHasItsOwnBuffer) {
    PropertyStore store;
    const char* mine = store.Text(PROPERTY_COMM_BAUD);
    std::string other;
    std::thread([&] { other = store.Text(PROPERTY_COMM_LOGLEVEL); }).join();
    EXPECT_STREQ(mine, "57600");
    EXPECT_EQ(other, "OFF");
}

TEST(StoredNumber, ReadsLikeAtolWithoutOverflow) {
    PropertyStore store;
    auto number = [&store](const char* text) {
        EXPECT_EQ(store.Set(PROPERTY_DEV_ACR, text, false), RETCODE_OK);
        return store.Number(PROPERTY_DEV_ACR);
    };
    EXPECT_EQ(number("42"), 42);
    EXPECT_EQ(number(" \t\n-42abc"), -42);
    EXPECT_EQ(number("+7"), 7);
    EXPECT_EQ(number(""), 0);
    EXPECT_EQ(number("abc"), 0);
    EXPECT_EQ(number("- 5"), 0);
    EXPECT_EQ(number("12 34"), 12);
    EXPECT_EQ(number("2147483647"), INT32_MAX);
    EXPECT_EQ(number("2147483648"), INT32_MAX);
    EXPECT_EQ(number("-2147483648"), INT32_MIN);
    EXPECT_EQ(number("-99999999999999999999"), INT32_MIN);
    EXPECT_EQ(number("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(store.Number("NO_SUCH_NAME"), 0);
}

TEST(PortSettings, BaudRateAcceptsOnlyTheKnownRates) {
    PropertyStore store;
    EXPECT_EQ(store.BaudRate(), 57600);
    for (int32_t rate : {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000,
                         256000}) {
        ASSERT_EQ(store.Set(PROPERTY_COMM_BAUD, std::to_string(rate).c_str(), true), RETCODE_OK);
        EXPECT_EQ(store.BaudRate(), rate);
    }
    for (const char* rate : {"0", "57601", "100", "230400", "4294967306"}) {
        ASSERT_EQ(store.Set(PROPERTY_COMM_BAUD, rate, true), RETCODE_OK);
        EXPECT_EQ(store.BaudRate(), -1) << rate;
    }
}

TEST(PortSettings, DataBitsFiveToEight) {
    PropertyStore store;
    EXPECT_EQ(store.DataBits(), 8);
    for (const char* bits : {"0", "4", "9"}) {
        ASSERT_EQ(store.Set(PROPERTY_COMM_NUMBITS, bits, true), RETCODE_OK);
        EXPECT_EQ(store.DataBits(), -1) << bits;
    }
    for (int32_t bits = 5; bits <= 8; ++bits) {
        ASSERT_EQ(store.Set(PROPERTY_COMM_NUMBITS, std::to_string(bits).c_str(), true), RETCODE_OK);
        EXPECT_EQ(store.DataBits(), bits);
    }
}

TEST(PortSettings, ParityFromTheFirstUpperCaseLetter) {
    PropertyStore store;
    EXPECT_EQ(store.Parity(), 0);
    struct Case {
        const char* text;
        int32_t code;
    };
    for (Case c : {Case{"N", 0}, Case{"O", 1}, Case{"E", 2}, Case{"e", -1}, Case{"n", -1}}) {
        ASSERT_EQ(store.Set(PROPERTY_COMM_PARITY, c.text, true), RETCODE_OK);
        EXPECT_EQ(store.Parity(), c.code) << c.text;
    }
    // Mark and space only come from inside the library.
    for (Case c : {Case{"M", 3}, Case{"S", 4}, Case{"X", -1}, Case{"", -1}}) {
        ASSERT_EQ(store.Set(PROPERTY_COMM_PARITY, c.text, false), RETCODE_OK);
        EXPECT_EQ(store.Parity(), c.code) << c.text;
    }
}

TEST(PortSettings, StopBits) {
    PropertyStore store;
    EXPECT_EQ(store.StopBits(), 0);
    ASSERT_EQ(store.Set(PROPERTY_COMM_NUMSTOPBITS, "1.5", true), RETCODE_OK);
    EXPECT_EQ(store.StopBits(), 1);
    ASSERT_EQ(store.Set(PROPERTY_COMM_NUMSTOPBITS, "2", true), RETCODE_OK);
    EXPECT_EQ(store.StopBits(), 2);
    ASSERT_EQ(store.Set(PROPERTY_COMM_NUMSTOPBITS, "1.0", false), RETCODE_OK);
    EXPECT_EQ(store.StopBits(), -1);
}

TEST(NameIndex, HoldsEachPropertyOnceInItsBucket) {
    const PropertyNameIndex& index = PropertyNameIndex::Library();
    EXPECT_EQ(index.Count(), 39u);
    EXPECT_EQ(PropertyNameIndex::Bucket("A"), 65u % 31u);
    EXPECT_EQ(PropertyNameIndex::Bucket("AB"), (65u + 66u) % 31u);
    EXPECT_LT(PropertyNameIndex::Bucket("\xff\xff\xff\x80"), 31u);
    for (const PropertyDescriptor& descriptor : PropertyDescriptors()) {
        EXPECT_EQ(index.Find(descriptor.name), &descriptor) << descriptor.name;
    }
    EXPECT_EQ(index.Find("property_comm_port"), nullptr);
    EXPECT_EQ(index.Find(nullptr), nullptr);
}

TEST(NameIndex, ReinsertingANameKeepsOneNode) {
    PropertyNameIndex index;
    const PropertyDescriptor& first = PropertyDescriptors()[0];
    index.Insert(first);
    index.Insert(first);
    index.Insert(PropertyDescriptors()[1]);
    EXPECT_EQ(index.Count(), 2u);
    EXPECT_EQ(index.Find(first.name), &first);
}

TEST(NameIndex, ContextsMadeOnManyThreadsAtOnceWork) {
    std::vector<std::thread> threads;
    std::vector<int> failures(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &failures] {
            TallyxHandle handle = Init();
            std::string port = std::to_string(t + 1);
            char buffer[16];
            if (handle == nullptr || SetProperty(handle, PROPERTY_COMM_PORT, port.c_str()) != RETCODE_OK ||
                GetProperty(handle, PROPERTY_COMM_PORT, buffer, sizeof buffer) != RETCODE_OK || port != buffer) {
                failures[t] = 1;
            }
            Term(handle);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(failures[t], 0) << t;
}

}  // namespace
}  // namespace tallyx

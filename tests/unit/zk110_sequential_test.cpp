// Rebuilding and correcting model A vehicle records.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drivers/modela/zk110_values.h"
#include "values_test_driver.h"

namespace tallyx::testing {
namespace {

class ZK110SequentialTest : public ::testing::Test {
protected:
    void SetUp() override { SetStudy("2009-03-01 09:00:00.000", "2009-03-08 09:00:00.000"); }

    void SetStudy(const std::string& begin, const std::string& end) {
        driver.Set(PROPERTY_STUDY_BEGINDATETIME, begin);
        driver.Set(PROPERTY_STUDY_ENDDATETIME, end);
    }

    int32_t Process(const std::vector<uint8_t>& data) {
        return driver.Values().DecodeSequential(data.data(), static_cast<uint32_t>(data.size()));
    }

    uint32_t Count() { return driver.Values().SequentialCount(); }
    const SequentialRecord& Record(uint32_t i) { return driver.Values().SequentialRecords()[i]; }

    ValuesTestDriver driver;
};

TEST(ZK110TimeStampTest, DayHourMinuteAndSecondArePackedIntoThreeBytes) {
    const uint8_t raw[] = {0x2E, 0x05, 0x1E, 0x02, 0x30, 0x12};
    EXPECT_EQ(4u, ZK110RecordDay(raw));
    const DateTime running(2009, 3, 1, 9, 0, 0, 0);
    EXPECT_EQ("2009-03-04 14:05:30.000", Text(ApplyZK110TimeStamp(running, raw)));
}

TEST(ZK110TimeStampTest, ASmallerDayMovesToTheNextMonthAndYear) {
    const auto raw = RawRecord(2, 8, 30, 0, 0, 40, 15);
    EXPECT_EQ("2010-01-02 08:30:00.000", Text(ApplyZK110TimeStamp(DateTime(2009, 12, 30, 22, 0, 0, 0), raw.data())));
    EXPECT_EQ("2009-05-02 08:30:00.000", Text(ApplyZK110TimeStamp(DateTime(2009, 4, 30, 22, 0, 0, 0), raw.data())));
    // Without a day the running date stays; its milliseconds are kept.
    const auto noDay = RawRecord(0, 8, 30, 0, 0, 40, 15);
    EXPECT_EQ("2009-04-30 08:30:00.250", Text(ApplyZK110TimeStamp(DateTime(2009, 4, 30, 22, 0, 0, 250), noDay.data())));
}

TEST_F(ZK110SequentialTest, ValidRecordIsDecodedIntoAVehicle) {
    driver.Values().SetDateEncoding(true);
    ASSERT_EQ(0, Process({0x2E, 0x05, 0x1E, 0x02, 0x30, 0x12}));
    ASSERT_EQ(1u, Count());
    EXPECT_EQ("2009-03-04 14:05:30.000", Text(Record(0).time));
    EXPECT_EQ(0x0002, Record(0).flags);
    EXPECT_EQ(48, Record(0).speed);
    EXPECT_EQ(18, Record(0).length);
    EXPECT_EQ(1u, Record(0).recordNumber);
}

TEST_F(ZK110SequentialTest, DatesRollOverMonthAndYearWithDateEncoding) {
    SetStudy("2009-12-30 10:00:00.000", "2010-01-05 10:00:00.000");
    driver.Values().SetDateEncoding(true);
    std::vector<uint8_t> data;
    AppendBytes(data, RawRecord(30, 11, 0, 0, 2, 40, 15));
    AppendBytes(data, RawRecord(31, 12, 0, 0, 2, 40, 15));
    AppendBytes(data, RawRecord(2, 8, 0, 0, 2, 40, 15));
    ASSERT_EQ(0, Process(data));
    ASSERT_EQ(3u, Count());
    EXPECT_EQ("2009-12-30 11:00:00.000", Text(Record(0).time));
    EXPECT_EQ("2009-12-31 12:00:00.000", Text(Record(1).time));
    EXPECT_EQ("2010-01-02 08:00:00.000", Text(Record(2).time));
    EXPECT_EQ(0x0002, Record(2).flags);
}

TEST_F(ZK110SequentialTest, ErasedRecordsAreRemovedAndTheOthersKeepTheirNumbers) {
    std::vector<uint8_t> data;
    AppendBytes(data, RawRecord(0, 9, 10, 0, 2, 40, 15));
    AppendBytes(data, {0xFF, 0xFF, 0x10, 0xFF, 0x20, 0x20});  // erased flash
    AppendBytes(data, RawRecord(0, 9, 20, 0, 4, 41, 16));
    AppendBytes(data, {0xFF, 0xFF, 0x10, 0x02, 0x20, 0x20});  // byte 3 is not 0xFF: a record
    ASSERT_EQ(0, Process(data));
    ASSERT_EQ(3u, Count());
    EXPECT_EQ(1u, Record(0).recordNumber);
    EXPECT_EQ(3u, Record(1).recordNumber);
    EXPECT_EQ(4u, Record(2).recordNumber);
    EXPECT_EQ(41, Record(1).speed);
}

TEST_F(ZK110SequentialTest, RecordWithoutDayIsInvalidOnlyWithDateEncoding) {
    std::vector<uint8_t> data;
    AppendBytes(data, RawRecord(1, 10, 0, 0, 2, 40, 15));
    AppendBytes(data, {0x0E, 0x05, 0x00, 0x02, 0x30, 0x12});  // day 0, 14:05
    driver.Values().SetDateEncoding(true);
    ASSERT_EQ(0, Process(data));
    ASSERT_EQ(1u, Count());
    EXPECT_EQ(1u, Record(0).recordNumber);

    driver.Values().Clear();
    ASSERT_EQ(0, Process(data));
    ASSERT_EQ(2u, Count());
    EXPECT_EQ("2009-03-01 14:05:00.000", Text(Record(1).time));
}

TEST_F(ZK110SequentialTest, FirstRecordOutsideTheStudyIsDroppedWithoutDateEncoding) {
    std::vector<uint8_t> data;
    AppendBytes(data, RawRecord(0, 8, 59, 59, 2, 40, 15));  // before the 09:00 begin
    AppendBytes(data, RawRecord(0, 9, 0, 0, 2, 41, 15));
    AppendBytes(data, RawRecord(0, 9, 30, 0, 2, 42, 15));
    ASSERT_EQ(0, Process(data));
    ASSERT_EQ(2u, Count());
    EXPECT_EQ(2u, Record(0).recordNumber);
    EXPECT_EQ("2009-03-01 09:00:00.000", Text(Record(0).time));
    EXPECT_EQ(0x0002, Record(0).flags) << "a record at the begin itself is in the study";

    // Only the first record is checked that way; a lone one leaves nothing.
    driver.Values().Clear();
    ASSERT_EQ(0, Process(RawRecord(0, 8, 0, 0, 2, 40, 15)));
    EXPECT_EQ(0u, Count());
}

TEST_F(ZK110SequentialTest, MidnightWithoutDateEncodingMovesToTheNextDay) {
    SetStudy("2009-03-01 23:00:00.000", "2009-03-03 00:00:00.000");
    std::vector<uint8_t> data;
    AppendBytes(data, RawRecord(0, 23, 59, 50, 2, 40, 15));
    AppendBytes(data, RawRecord(0, 0, 0, 10, 2, 40, 15));
    AppendBytes(data, RawRecord(0, 0, 5, 0, 2, 40, 15));
    ASSERT_EQ(0, Process(data));
    ASSERT_EQ(3u, Count());
    EXPECT_EQ("2009-03-01 23:59:50.000", Text(Record(0).time));
    EXPECT_EQ("2009-03-02 00:00:10.000", Text(Record(1).time));
    EXPECT_EQ(0x0102, Record(1).flags);
    // The next one is placed on the new running date and is in sequence.
    EXPECT_EQ("2009-03-02 00:05:00.000", Text(Record(2).time));
    EXPECT_EQ(0x0002, Record(2).flags);
}

TEST_F(ZK110SequentialTest, OutOfSequenceWithDateEncodingIsOnlyReported) {
    driver.Values().SetDateEncoding(true);
    std::vector<uint8_t> data;
    AppendBytes(data, RawRecord(2, 12, 0, 0, 2, 40, 15));
    AppendBytes(data, RawRecord(2, 11, 0, 0, 2, 40, 15));
    ASSERT_EQ(0, Process(data));
    ASSERT_EQ(2u, Count());
    EXPECT_EQ("2009-03-02 11:00:00.000", Text(Record(1).time));
    EXPECT_EQ(0x0002, Record(1).flags);
}

TEST_F(ZK110SequentialTest, RecordBeyondTheStudyEndTakesThePreviousTime) {
    SetStudy("2009-03-01 09:00:00.000", "2009-03-01 12:00:00.000");
    std::vector<uint8_t> data;
    AppendBytes(data, RawRecord(0, 10, 15, 5, 2, 40, 15));
    AppendBytes(data, RawRecord(0, 12, 0, 1, 4, 40, 15));
    ASSERT_EQ(0, Process(data));
    ASSERT_EQ(2u, Count());
    EXPECT_EQ("2009-03-01 10:15:05.000", Text(Record(1).time));
    EXPECT_EQ(0x0104, Record(1).flags);
}

TEST_F(ZK110SequentialTest, ImplausibleLengthsAndSpeedsAreCorrectedWithFlags) {
    struct Case {
        uint8_t flags, speed, length;
        uint16_t wantFlags;
        uint8_t wantSpeed, wantLength;
    };
    const Case cases[] = {
        {0x02, 40, 5, 0x0202, 40, 14},     // too short: default length
        {0x02, 40, 6, 0x0002, 40, 6},      // shortest plausible
        {0x02, 40, 141, 0x0002, 40, 141},  // longest plausible
        {0x02, 40, 142, 0x0202, 40, 14},   // too long
        {0x02, 128, 20, 0x0602, 0, 0},     // too fast: both cleared
        {0x02, 3, 20, 0x0602, 0, 0},       // too slow
        {0x02, 4, 20, 0x0002, 4, 20},
        {0x02, 127, 20, 0x0002, 127, 20},
        {0x02, 200, 2, 0x0602, 0, 0},      // both wrong
        {0x40, 200, 2, 0x0040, 0, 0},      // stopped: cleared, no correction flag
        {0x80, 50, 20, 0x0080, 0, 0},      // unclassified
        {0x22, 50, 2, 0x0022, 50, 0},      // no length: only the length cleared
        {0x22, 200, 20, 0x0622, 0, 0},     // no length and too fast
    };
    std::vector<uint8_t> data;
    for (const Case& c : cases) AppendBytes(data, RawRecord(0, 10, 0, 0, c.flags, c.speed, c.length));
    ASSERT_EQ(0, Process(data));
    ASSERT_EQ(std::size(cases), Count());
    for (uint32_t i = 0; i < Count(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cases[i].wantFlags, Record(i).flags);
        EXPECT_EQ(cases[i].wantSpeed, Record(i).speed);
        EXPECT_EQ(cases[i].wantLength, Record(i).length);
    }
}

TEST_F(ZK110SequentialTest, NothingUsableLeavesNoRecords) {
    EXPECT_EQ(0, driver.Values().DecodeSequential(nullptr, 0));
    EXPECT_EQ(0, Process({0x01, 0x02, 0x03, 0x04, 0x05}));  // shorter than one record
    std::vector<uint8_t> erased(6 * 42, 0xFF);
    EXPECT_EQ(0, Process(erased));
    EXPECT_EQ(0u, Count());
}

TEST_F(ZK110SequentialTest, ManyInvalidRecordsAreRemovedInOnePass) {
    // Every other record erased, over more than a full page set.
    SetStudy("2009-03-01 00:00:00.000", "2009-03-31 00:00:00.000");
    driver.Values().SetDateEncoding(true);
    const uint32_t total = 100000;
    std::vector<uint8_t> data;
    data.reserve(total * 6);
    for (uint32_t i = 0; i < total; ++i) {
        if (i % 2 == 1) {
            AppendBytes(data, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
        } else {
            const uint32_t second = i * 10;  // 10 s apart
            AppendBytes(data, RawRecord(1 + second / 86400, second / 3600 % 24, second / 60 % 60, second % 60, 2, 40, 15));
        }
    }
    ASSERT_EQ(0, Process(data));
    ASSERT_EQ(total / 2, Count());
    for (uint32_t k = 0; k < Count(); ++k) ASSERT_EQ(2 * k + 1, Record(k).recordNumber);
    EXPECT_EQ("2009-03-12 13:46:20.000", Text(Record(Count() - 1).time));  // record 99999: 999980 s after the begin
}

TEST_F(ZK110SequentialTest, ClearDropsRecordsAndDateEncoding) {
    driver.Values().SetDateEncoding(true);
    ASSERT_EQ(0, Process(RawRecord(1, 10, 0, 0, 2, 40, 15)));
    ASSERT_EQ(1u, Count());
    driver.Values().Clear();
    EXPECT_EQ(0u, Count());
    EXPECT_EQ(nullptr, driver.Values().SequentialRecords());
    EXPECT_FALSE(driver.Values().DateEncoding());
}

}  // namespace
}  // namespace tallyx::testing

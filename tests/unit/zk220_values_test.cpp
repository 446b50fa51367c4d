// Model B's answers and records: every check of the study information line,
// the user-area document found in any order and cut to its fields, the raw
// records decoded, and the periods derived from the vehicles.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drivers/modelb/zk220_values.h"
#include "values_test_driver.h"

namespace tallyx::testing {
namespace {

struct StudyLineCase {
    const char* name;
    std::string line;
    bool parses;
    int32_t state = 0;
    const char* begin = "";
    int32_t periodMinutes = 0;
    int32_t records = 0;
    int32_t recordSize = 0;
};

const StudyLineCase kStudyLines[] = {
    {"Whole", "TRAFFIC 2 \"2009-03-07 14:05:09\" \"2009-03-08 14:05:09\" 900 120 8", true, 2, "2009-03-07 14:05:09.000",
     15, 120, 8},
    {"Milliseconds", "TRAFFIC 0 \"2009-03-07 14:05:09.042\" \"2009-03-08 00:00:00\" 90 0 8", true, 0,
     "2009-03-07 14:05:09.042", 1, 0, 8},
    {"UnparsableDateIsNoError", "T 4 \"soon\" \"later\" 59 3 8", true, 4, "0-00-00 00:00:00.000", 0, 3, 8},
    {"NegativeAndHugeNumbersSaturate", "T -7 \"2009-03-07 14:05:09\" \"2009-03-08 14:05:09\" 900 99999999999 -1",
     true, -7, "2009-03-07 14:05:09.000", 15, 2147483647, -1},
    {"NoSpace", "TRAFFIC", false},
    {"SpaceFirst", " TRAFFIC 0 \"2009-03-07 14:05:09\" \"2009-03-08 14:05:09\" 900 120 8", false},
    {"NoSpaceAfterState", "TRAFFIC 0", false},
    {"TwoSpacesAfterType", "TRAFFIC  0 \"2009-03-07 14:05:09\" \"2009-03-08 14:05:09\" 900 120 8", false},
    {"BeginNotQuoted", "TRAFFIC 0 2009-03-07 \"2009-03-08 14:05:09\" 900 120 8", false},
    {"BeginEmpty", "TRAFFIC 0 \"\" \"2009-03-08 14:05:09\" 900 120 8", false},
    {"BeginNotClosed", "TRAFFIC 0 \"2009-03-07 14:05:09", false},
    {"NoSpaceBeforeEnd", "TRAFFIC 0 \"2009-03-07 14:05:09\"\"2009-03-08 14:05:09\" 900 120 8", false},
    {"EndEmpty", "TRAFFIC 0 \"2009-03-07 14:05:09\" \"\" 900 120 8", false},
    {"NoSpaceAfterEnd", "TRAFFIC 0 \"2009-03-07 14:05:09\" \"2009-03-08 14:05:09\"900 120 8", false},
    {"NoSpaceAfterPeriod", "TRAFFIC 0 \"2009-03-07 14:05:09\" \"2009-03-08 14:05:09\" 900", false},
    {"NoSpaceAfterCount", "TRAFFIC 0 \"2009-03-07 14:05:09\" \"2009-03-08 14:05:09\" 900 120", false},
    {"NothingAfterCount", "TRAFFIC 0 \"2009-03-07 14:05:09\" \"2009-03-08 14:05:09\" 900 120 ", false},
    {"Empty", "", false},
};

void PrintTo(const StudyLineCase& c, std::ostream* out) { *out << c.name; }

class StudyLineTest : public ::testing::TestWithParam<StudyLineCase> {};

TEST_P(StudyLineTest, ParsesOrFailsAsItsShapeSays) {
    const StudyLineCase& c = GetParam();
    ZK220StudyInfo info;
    ASSERT_EQ(ParseZK220StudyInfo(c.line.c_str(), info), c.parses);
    if (!c.parses) return;
    EXPECT_EQ(info.stateCode, c.state);
    EXPECT_EQ(Text(info.begin), c.begin);
    EXPECT_EQ(info.periodMinutes, c.periodMinutes);
    EXPECT_EQ(info.recordCount, c.records);
    EXPECT_EQ(info.recordSize, c.recordSize);
}

INSTANTIATE_TEST_SUITE_P(ZK220, StudyLineTest, ::testing::ValuesIn(kStudyLines),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ZK220StudyLine, ALongTypeIsCutToItsCapacity) {
    const std::string line = std::string(500, 'T') + " 0 \"2009-03-07 14:05:09\" \"2009-03-08 14:05:09\" 900 1 8";
    ZK220StudyInfo info;
    ASSERT_TRUE(ParseZK220StudyInfo(line.c_str(), info));
    EXPECT_EQ(std::string(info.type), std::string(ZK220StudyInfo::kTypeCapacity, 'T'));
}

std::string Element(const std::string& tag, const std::string& text) { return "<" + tag + ">" + text + "</" + tag + ">"; }

std::string UserArea(const std::string& address = "Elm St") {
    return "<TALLYX>" + Element("SPL", "45") + Element("V", "1.0.0.0") + Element("OP", "KW") + Element("SB", "25 35") +
           Element("LB", "20 40") + Element("ST", "OH") + Element("CT", "Oak") + Element("CNT", "Lake") +
           Element("ADDR", address) + Element("LN", "SB") + "</TALLYX>\"";
}

TEST(ZK220UserAreaText, FindsEveryFieldInAnyOrder) {
    ZK220UserArea area;
    ASSERT_TRUE(ParseZK220UserArea(UserArea().c_str(), area));
    EXPECT_STREQ(area.version, "1.0.0.0");
    EXPECT_STREQ(area.speedBins, "25 35");
    EXPECT_STREQ(area.lengthBins, "20 40");
    EXPECT_STREQ(area.state, "OH");
    EXPECT_STREQ(area.city, "Oak");
    EXPECT_STREQ(area.county, "Lake");
    EXPECT_STREQ(area.address, "Elm St");
    EXPECT_STREQ(area.lane, "SB");
    EXPECT_EQ(area.speedLimit, 45u);
    EXPECT_STREQ(area.operatorInitials, "KW");
}

TEST(ZK220UserAreaText, FailsWithoutATagOrWithAClosingTagFirst) {
    ZK220UserArea area;
    std::string withoutVersion = UserArea();
    withoutVersion.erase(withoutVersion.find("<V>"), std::string("<V>1.0.0.0</V>").size());
    EXPECT_FALSE(ParseZK220UserArea(withoutVersion.c_str(), area));
    std::string unclosed = UserArea();
    unclosed.erase(unclosed.find("</LN>"), 5);
    EXPECT_FALSE(ParseZK220UserArea(unclosed.c_str(), area));
    EXPECT_FALSE(ParseZK220UserArea(("</CT>" + UserArea()).c_str(), area));
    EXPECT_FALSE(ParseZK220UserArea(nullptr, area));
}

TEST(ZK220UserAreaText, CutsLongFieldsAndReadsABadSpeedLimitAsZero) {
    ZK220UserArea area;
    std::string text = UserArea(std::string(3000, 'A'));
    text.replace(text.find("<SPL>45"), 7, "<SPL>-45");
    ASSERT_TRUE(ParseZK220UserArea(text.c_str(), area));
    EXPECT_EQ(std::string(area.address), std::string(ZK220UserArea::kLongCapacity, 'A'));
    EXPECT_EQ(area.speedLimit, 0u);
}

class ZK220ValuesTest : public ::testing::Test {
protected:
    void SetUp() override {
        driver.Set(PROPERTY_STUDY_BEGINDATETIME, "2009-03-07 08:00:00.000");
        driver.Set(PROPERTY_STUDY_ENDDATETIME, "2009-03-07 09:01:00.000");
        driver.Set(PROPERTY_STUDY_PERIODTIME, "15");
        driver.Set(PROPERTY_STUDY_SPEEDBINS, "30 50");
        driver.Set(PROPERTY_STUDY_LENGTHBINS, "20");
    }

    // A record offset seconds after the begin with whole measurements.
    static std::vector<uint8_t> Record(uint32_t offset, uint8_t flags, uint8_t speed, uint8_t length) {
        return {flags, static_cast<uint8_t>(offset >> 16), static_cast<uint8_t>(offset >> 8),
                static_cast<uint8_t>(offset), speed, 0, length, 0};
    }

    void Decode(const std::vector<std::vector<uint8_t>>& records) {
        std::vector<uint8_t> data;
        for (const auto& record : records) data.insert(data.end(), record.begin(), record.end());
        ASSERT_EQ(driver.Values().DecodeSequential(data.data(), static_cast<uint32_t>(data.size())), RETCODE_OK);
    }

    std::vector<std::string> Lines(const char* kind) {
        std::vector<std::string> lines;
        char buffer[4096];
        for (int32_t rc = driver.FirstValue(kind, GETVALUE_FORMAT_CSV, buffer, sizeof buffer); rc == RETCODE_OK;
             rc = driver.NextValue(buffer, sizeof buffer)) {
            lines.emplace_back(buffer);
        }
        return lines;
    }

    ZK220ValuesTestDriver driver;
};

TEST_F(ZK220ValuesTest, DecodesTheRawRecordBytes) {
    // Flags 3 at begin + 300 s, 45.7 mph and 18.5 ft; the top flag bits dropped;
    // fractions read as the digits after the point; 255.5 stays 255.
    Decode({{0x03, 0x00, 0x01, 0x2C, 45, 7, 18, 5},
            {0xE2, 0xFF, 0xFF, 0xFF, 45, 49, 18, 50},
            {0x01, 0x00, 0x00, 0x00, 255, 5, 0, 255}});
    const SequentialRecord* records = driver.Values().SequentialRecords();
    ASSERT_EQ(driver.Values().SequentialCount(), 3u);
    EXPECT_EQ(Text(records[0].time), "2009-03-07 08:05:00.000");
    EXPECT_EQ(records[0].flags, 3);
    EXPECT_EQ(records[0].speed, 46);
    EXPECT_EQ(records[0].length, 19);
    EXPECT_EQ(records[0].recordNumber, 1u);
    // 16777215 seconds is 194 days, 4:20:15.
    EXPECT_EQ(Text(records[1].time), "2009-09-17 12:20:15.000");
    EXPECT_EQ(records[1].flags, 2);
    EXPECT_EQ(records[1].speed, 45);   // 45.49
    EXPECT_EQ(records[1].length, 19);  // 18.50
    EXPECT_EQ(records[2].speed, 255);
    EXPECT_EQ(records[2].length, 0);   // 0.255
    EXPECT_EQ(records[2].recordNumber, 3u);
}

TEST_F(ZK220ValuesTest, IgnoresATrailingPartRecordAndStampsFromANullBeginWhenItDoesNotParse) {
    driver.Set(PROPERTY_STUDY_BEGINDATETIME, "whenever");
    std::vector<uint8_t> data = Record(60, 1, 30, 15);
    data.resize(data.size() + 5, 0xAA);
    ASSERT_EQ(driver.Values().DecodeSequential(data.data(), static_cast<uint32_t>(data.size())), RETCODE_OK);
    ASSERT_EQ(driver.Values().SequentialCount(), 1u);
    EXPECT_TRUE(driver.Values().SequentialRecords()[0].time.IsNull());
}

TEST_F(ZK220ValuesTest, CountsPeriodsWithAPartialLastOne) {
    struct Case {
        const char* end;
        const char* period;
        uint32_t periods;
    };
    for (const Case& c : {Case{"2009-03-07 09:01:00.000", "15", 5}, Case{"2009-03-07 09:00:00.000", "15", 4},
                          Case{"2009-03-07 08:00:59.000", "1", 1}, Case{"2009-03-07 09:00:00.000", "0", 0},
                          Case{"2009-03-07 09:00:00.000", "-15", 0}, Case{"2009-03-07 07:00:00.000", "15", 0}}) {
        driver.Set(PROPERTY_STUDY_ENDDATETIME, c.end);
        driver.Set(PROPERTY_STUDY_PERIODTIME, c.period);
        EXPECT_EQ(driver.Values().PeriodicCount(), c.periods) << c.end << " / " << c.period;
    }
}

TEST_F(ZK220ValuesTest, DerivesEachPeriodFromItsVehicles) {
    // 08:00:00 and 08:14:59 in period 0, 08:15:00 opens period 1; a stopped
    // reverse vehicle counts but fills no bin; speeds 29, 50 and 80 fall in
    // speed classes 0, 2 and 2 against bins 30 50.
    Decode({Record(0, 1, 29, 15), Record(899, 1, 50, 25), Record(900, 2, 0, 0), Record(960, 2, 80, 15)});
    EXPECT_EQ(Lines(GETVALUE_DATA_PERIODIC),
              (std::vector<std::string>{
                  "TimeStamp,Temperature,Occupancy,Count,ReverseCount,Bin_1_1,Bin_1_2,Bin_2_1,Bin_2_2,Bin_3_1,Bin_3_2",
                  "2009-03-07 08:15:00.000,,0,2,0,1,0,0,0,0,1",
                  "2009-03-07 08:30:00.000,,0,2,2,0,0,0,0,1,0",
                  "2009-03-07 08:45:00.000,,0,0,0,0,0,0,0,0,0",
                  "2009-03-07 09:00:00.000,,0,0,0,0,0,0,0,0,0",
                  "2009-03-07 09:15:00.000,,0,0,0,0,0,0,0,0,0",
              }));
}

TEST_F(ZK220ValuesTest, OccupancyIsTheShareOfThePeriodAVehicleWasOverTheDetectorRoundedHalfUp) {
    // 22 ft at 15 mph is over the detector for one second of a 60-second period.
    driver.Set(PROPERTY_STUDY_PERIODTIME, "1");
    Decode({Record(10, 1, 15, 22)});
    PeriodicRow period;
    // Outside a walk no bins are loaded; the vehicles are counted all the same.
    driver.Values().BuildPeriodicRow(0, period);
    EXPECT_FALSE(driver.Values().Bins().HasLimits());
    EXPECT_EQ(period.occupancy, 2u);
    EXPECT_EQ(period.count, 1u);
    EXPECT_EQ(period.endOffsetMinutes, 1u);
}

TEST_F(ZK220ValuesTest, CountsVehiclesWithoutBinsAndKeepsLatePeriodEnds) {
    // A study of 100 days in periods of 15 minutes: period 9000 ends 135000
    // minutes after the begin, past what 16 bits hold.
    driver.Set(PROPERTY_STUDY_ENDDATETIME, "2009-06-15 08:00:00.000");
    driver.Set(PROPERTY_STUDY_LENGTHBINS, "");
    Decode({Record(9000u * 900u + 5u, 2, 40, 20)});
    std::vector<std::string> lines = Lines(GETVALUE_DATA_PERIODIC);
    ASSERT_EQ(lines.size(), 1u + 9600u);
    EXPECT_EQ(lines[9001], "2009-06-09 02:15:00.000,,0,1,1,0,0,0");
}

TEST_F(ZK220ValuesTest, StoresTheStudyLineAndTheUserAreaAsProperties) {
    ZK220Values& values = driver.Values();
    ASSERT_EQ(values.ParseAnswer("GETSTUDYINFO", "TRAFFIC 2 \"2009-03-07 14:05:09\" \"2009-03-07 14:06:08\" 90 -3 8"),
              RETCODE_OK);
    EXPECT_EQ(driver.Get(PROPERTY_STUDY_TYPE), "TRAFFIC");
    EXPECT_EQ(driver.Get(PROPERTY_STUDY_FCODE), "2");
    EXPECT_EQ(driver.Get(PROPERTY_STUDY_BEGINDATETIME), "2009-03-07 14:05:09.000");
    EXPECT_EQ(driver.Get(PROPERTY_STUDY_RANGETIME), "0");  // 59 seconds
    EXPECT_EQ(driver.Get(PROPERTY_STUDY_PERIODTIME), "1");  // 90 seconds
    EXPECT_EQ(driver.Get(PROPERTY_STUDY_NUMRECORDS), "-3");
    EXPECT_EQ(values.ParseAnswer("GETSTUDYINFO", "TRAFFIC"), RETCODE_ERR_BADRESPONSE);

    ASSERT_EQ(values.ParseAnswer("GETUSERAREA", UserArea().c_str()), RETCODE_OK);
    EXPECT_EQ(driver.Get(PROPERTY_STUDY_SPEEDBINS), "25 35");
    EXPECT_EQ(driver.Get(PROPERTY_STUDY_SPEEDLIMIT), "45");
    EXPECT_EQ(driver.Get(PROPERTY_STUDY_LANE), "SB");
    EXPECT_EQ(values.ParseAnswer("GETUSERAREA", "<V>1</V>"), RETCODE_ERR_BADRESPONSE);

    EXPECT_EQ(values.ParseAnswer("GETSERIALNUMBER", "ZB-0042"), RETCODE_OK);
    EXPECT_EQ(driver.Get(PROPERTY_DEV_SERIALNO), "ZB-0042");
    EXPECT_EQ(values.ParseAnswer("getserialnumber", "other"), RETCODE_OK);
    EXPECT_EQ(driver.Get(PROPERTY_DEV_SERIALNO), "ZB-0042");
}

TEST_F(ZK220ValuesTest, DescribesTheThreeFlagsForwardFirst) {
    Decode({Record(1, 0x01, 30, 15), Record(2, 0x03, 30, 15), Record(3, 0x06, 30, 15), Record(4, 0x18, 30, 15)});
    std::vector<std::string> lines = Lines(GETVALUE_DATA_SEQUENTIAL);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "2009-03-07 08:00:01.000,1,FORWARD,30,15");
    EXPECT_EQ(lines[2], "2009-03-07 08:00:02.000,3,FORWARD,30,15");
    EXPECT_EQ(lines[3], "2009-03-07 08:00:03.000,6,REVERSE+UNCLASSIFIED,30,15");
    EXPECT_EQ(lines[4], "2009-03-07 08:00:04.000,24,,30,15");
}

}  // namespace
}  // namespace tallyx::testing

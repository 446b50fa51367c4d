// kvd.dat: the header records and the per-period summaries with their class
// tables, checked line by line against texts built here by hand.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "reader/kvd_class_table.h"
#include "reader/kvd_file_writer.h"
#include "reader/reader_log.h"
#include "reader/reader_session.h"
#include "reader_test_support.h"

namespace tallyx::test {
namespace {

const char* const kHeaderLine = "TimeStamp,Flag,Flag Description,Speed,Length";

// One expected period: its minute offset, counts, occupancy and the non-zero
// class cells keyed by (speed class, length class).
struct Period {
    int minutes;
    int vehicles = 0;
    int reverse = 0;
    int occupancy = 0;
    std::map<std::pair<int, int>, int> cells = {};
};

std::string Expected(const std::vector<Period>& periods) {
    std::string text;
    for (const Period& period : periods) {
        text += ":V" + std::to_string(period.minutes) + " " + std::to_string(period.vehicles) + " 0 0 3 120 " +
                std::to_string(period.reverse) + " " + std::to_string(period.occupancy) + "\n";
        for (int length = 0; length < 8; ++length) {
            text += ":U";
            for (int speed = 0; speed < 15; ++speed) {
                const auto cell = period.cells.find({speed, length});
                if (speed > 0) text += " ";
                text += std::to_string(cell == period.cells.end() ? 0 : cell->second);
            }
            text += "\n";
        }
    }
    return text;
}

std::string Vehicle(const std::string& time, const std::string& description, int speed, int length) {
    return time + ",0," + description + "," + std::to_string(speed) + "," + std::to_string(length);
}

class KvdFile : public ::testing::Test {
protected:
    void SetUp() override {
        fake.properties = {
            {PROPERTY_STUDY_STATE, "MN"},
            {PROPERTY_STUDY_CITY, "Springfield"},
            {PROPERTY_STUDY_COUNTY, "Hennepin"},
            {PROPERTY_STUDY_ADDRESS, "Main St"},
            {PROPERTY_STUDY_LANE, "NB"},
            {PROPERTY_STUDY_SPEEDLIMIT, "55"},
            {PROPERTY_STUDY_OPERATOR, "JD"},
            {PROPERTY_DEV_SERIALNO, "SN1234"},
            {PROPERTY_DEV_UNITTYPE, "ZK110"},
            {PROPERTY_STUDY_BEGINDATETIME, "2013-07-30 10:00:00.000"},
            {PROPERTY_STUDY_ENDDATETIME, "2013-07-30 11:00:00.000"},
            {PROPERTY_STUDY_PERIODTIME, "15"},
            {PROPERTY_STUDY_SPEEDBINS, "20 30 40"},
            {PROPERTY_STUDY_LENGTHBINS, "20 40"},
            {PROPERTY_STUDY_FCODE, "1"},
        };
        Records({});
    }

    void Records(const std::vector<std::string>& lines) {
        fake.sequentialLines = {kHeaderLine};
        fake.sequentialLines.insert(fake.sequentialLines.end(), lines.begin(), lines.end());
    }

    std::string Write() {
        ReaderLog log(folder.Path() + "log/");
        const ReaderSession session{fake.Api(), fake.Handle(), log};
        KvdFileWriter(session).Write(path);
        return ReadFile(path);
    }

    // The file from its first :V line on.
    std::string Summaries() {
        const std::string text = Write();
        const size_t first = text.find(":V");
        return first == std::string::npos ? std::string() : text.substr(first);
    }

    FakeLibrary fake;
    TempFolder folder;
    std::string path = folder.Path() + "data/kvd.dat";
};

TEST_F(KvdFile, EmptyHourWithQuarterPeriodsListsFourEmptyPeriodsAfterTheHeader) {
    const std::string header =
        ":X:0MN\n:X:1Springfield\n:X:2Hennepin\n:X:3Main St\n:X:4NB\n:X:555\n:X:6JD\n:X:7SN1234\n:X:8ZK110\n"
        ":B1307301000\n:E1307301100\n:P15\n:KE\n:GY\n:S20 30 40\n:L20 40\n:F1\n";
    EXPECT_EQ(Write(), header + Expected({{15}, {30}, {45}, {60}}));
}

TEST_F(KvdFile, BeginAndEndTimesAreTwoDigitFields) {
    fake.properties[PROPERTY_STUDY_BEGINDATETIME] = "2013-07-30 10:05:00.000";
    fake.properties[PROPERTY_STUDY_ENDDATETIME] = "2013-08-02 09:05:00.000";
    const std::string text = Write();
    EXPECT_NE(text.find("\n:B1307301005\n:E1308020905\n"), std::string::npos) << text;
}

TEST_F(KvdFile, YearsBeforeTwoThousandKeepTheirLastTwoDigits) {
    fake.properties[PROPERTY_STUDY_BEGINDATETIME] = "1999-12-31 23:00:00.000";
    fake.properties[PROPERTY_STUDY_ENDDATETIME] = "2000-01-01 01:00:00.000";
    fake.properties[PROPERTY_STUDY_PERIODTIME] = "60";
    Records({Vehicle("2000-01-01 00:30:00.000", "FORWARD", 25, 10)});
    const std::string text = Write();
    EXPECT_NE(text.find("\n:B9912312300\n:E0001010100\n"), std::string::npos) << text;
    // The periods run across the change of year.
    EXPECT_EQ(text.substr(text.find(":V")), Expected({{60}, {120, 1, 0, 0, {{{1, 0}, 1}}}}));
}

TEST_F(KvdFile, PropertiesThatCannotBeReadAreLeftOut) {
    fake.getPropertyErrors[PROPERTY_STUDY_COUNTY] = RETCODE_ERR_INVALIDPROPERTY;
    fake.getPropertyErrors[PROPERTY_STUDY_FCODE] = RETCODE_ERR_BUFFERTOOSMALL;
    const std::string text = Write();
    EXPECT_EQ(text.find(":X:2"), std::string::npos);
    EXPECT_NE(text.find(":X:1Springfield\n:X:3Main St\n"), std::string::npos);
    EXPECT_NE(text.find(":L20 40\n:V15 "), std::string::npos);
    const auto log = LogMessages(folder.Path() + "log/");
    const std::vector<std::string> expected = {
        "E GetProperty() failed for property PROPERTY_STUDY_COUNTY! Error=RETCODE_ERR_INVALIDPROPERTY (-10)",
        "E GetProperty() failed for property PROPERTY_STUDY_FCODE! Error=Unknown (-101)",
    };
    EXPECT_EQ(log, expected);
}

TEST_F(KvdFile, RecordsFallIntoThePeriodsOfTheirTimes) {
    Records({
        Vehicle("2013-07-30 10:14:59.999", "FORWARD", 25, 10),   // last moment of the first period
        Vehicle("2013-07-30 10:15:00.000", "FORWARD", 25, 10),   // exactly at its end: the second
        Vehicle("2013-07-30 10:50:00.000", "REVERSE", 45, 50),   // the fourth; the third stays empty
        Vehicle("2013-07-30 10:59:59.000", "FORWARD", 10, 25),
    });
    EXPECT_EQ(Summaries(), Expected({
                               {15, 1, 0, 0, {{{1, 0}, 1}}},
                               {30, 1, 0, 0, {{{1, 0}, 1}}},
                               {45},
                               {60, 2, 1, 0, {{{3, 2}, 1}, {{0, 1}, 1}}},
                           }));
}

TEST_F(KvdFile, RecordAtTheStudyEndOpensAPeriodOfItsOwn) {
    // Records past the study end start periods of their own.
    Records({Vehicle("2013-07-30 11:00:00.000", "FORWARD", 25, 10)});
    EXPECT_EQ(Summaries(), Expected({{15}, {30}, {45}, {60}, {75, 1, 0, 0, {{{1, 0}, 1}}}}));
}

TEST_F(KvdFile, UnclassifiedVehiclesCountInTotalsButInNoClass) {
    fake.properties[PROPERTY_STUDY_PERIODTIME] = "1";
    fake.properties[PROPERTY_STUDY_ENDDATETIME] = "2013-07-30 10:01:00.000";
    Records({
        Vehicle("2013-07-30 10:00:10.000", "REVERSE+UNCLASSIFIED", 1, 44),
        Vehicle("2013-07-30 10:00:20.000", "FORWARD", 30, 0),
    });
    // 44 feet at 1 mph take 30 seconds: half of the one-minute period.
    EXPECT_EQ(Summaries(), Expected({{1, 2, 1, 50, {{{2, 0}, 1}}}}));
}

TEST_F(KvdFile, OccupancyIsTruncatedToWholePercent) {
    fake.properties[PROPERTY_STUDY_PERIODTIME] = "1";
    fake.properties[PROPERTY_STUDY_ENDDATETIME] = "2013-07-30 10:02:00.000";
    Records({
        Vehicle("2013-07-30 10:00:10.000", "FORWARD", 1, 43),  // 29.3 s of 60: 48.9 %
        Vehicle("2013-07-30 10:01:10.000", "FORWARD", 2, 44),  // 15 s
        Vehicle("2013-07-30 10:01:20.000", "FORWARD", 2, 44),  // 15 s
        Vehicle("2013-07-30 10:01:30.000", "FORWARD", 1, 44),  // 30 s: 60 s in all
    });
    EXPECT_EQ(Summaries(), Expected({
                               {1, 1, 0, 48, {{{0, 2}, 1}}},
                               {2, 3, 0, 100, {{{0, 2}, 3}}},
                           }));
}

TEST_F(KvdFile, VehicleWithoutSpeedAddsNoOccupancy) {
    fake.properties[PROPERTY_STUDY_PERIODTIME] = "1";
    fake.properties[PROPERTY_STUDY_ENDDATETIME] = "2013-07-30 10:01:00.000";
    Records({
        Vehicle("2013-07-30 10:00:10.000", "FORWARD", 0, 44),
        Vehicle("2013-07-30 10:00:20.000", "FORWARD", 1, 44),
    });
    EXPECT_EQ(Summaries(), Expected({{1, 2, 0, 50, {{{0, 2}, 2}}}}));
}

TEST_F(KvdFile, ConsecutiveFirstSpeedBinsAreSkippedForBothLists) {
    fake.properties[PROPERTY_STUDY_SPEEDBINS] = "1 2 30";
    fake.properties[PROPERTY_STUDY_LENGTHBINS] = "10 20 40";
    Records({
        Vehicle("2013-07-30 10:01:00.000", "FORWARD", 25, 15),  // speed class 1, length class 0
        Vehicle("2013-07-30 10:02:00.000", "FORWARD", 30, 20),  // speed class 2, length class 1
    });
    EXPECT_EQ(Summaries(), Expected({{15, 2, 0, 0, {{{1, 0}, 1}, {{2, 1}, 1}}}, {30}, {45}, {60}}));
}

TEST_F(KvdFile, ClassesPastTheTableGoToItsLastRowAndColumn) {
    fake.properties[PROPERTY_STUDY_SPEEDBINS] = "5 10 15 20 25 30 35 40 45 50 55 60 65 70 75 80";
    fake.properties[PROPERTY_STUDY_LENGTHBINS] = "5 10 15 20 25 30 35 40 45";
    Records({
        Vehicle("2013-07-30 10:01:00.000", "FORWARD", 200, 250),  // classes 16 and 9
        Vehicle("2013-07-30 10:02:00.000", "FORWARD", 72, 37),    // classes 14 and 7
        Vehicle("2013-07-30 10:03:00.000", "FORWARD", 12, 3),     // classes 2 and 0
    });
    EXPECT_EQ(Summaries(), Expected({{15, 3, 0, 0, {{{14, 7}, 2}, {{2, 0}, 1}}}, {30}, {45}, {60}}));
}

TEST_F(KvdFile, WithoutBinListsEveryVehicleIsClassZero) {
    fake.properties[PROPERTY_STUDY_SPEEDBINS] = "";
    fake.getPropertyErrors[PROPERTY_STUDY_LENGTHBINS] = RETCODE_ERR_INVALIDPROPERTY;
    Records({Vehicle("2013-07-30 10:01:00.000", "FORWARD", 80, 80)});
    EXPECT_EQ(Summaries(), Expected({{15, 1, 0, 0, {{{0, 0}, 1}}}, {30}, {45}, {60}}));
}

TEST_F(KvdFile, UnreadableRecordTimesAreSkippedWithAWarning) {
    Records({
        Vehicle("not a time", "FORWARD", 25, 10),
        Vehicle("2013-02-30 10:01:00.000", "FORWARD", 25, 10),
        Vehicle("2013-07-30 10:01:00.000", "FORWARD", 25, 10),
        "",
    });
    EXPECT_EQ(Summaries(), Expected({{15, 1, 0, 0, {{{1, 0}, 1}}}, {30}, {45}, {60}}));
    const auto log = LogMessages(folder.Path() + "log/");
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "W Skipped a vehicle record without a valid time: not a time,0,FORWARD,25,10");
}

TEST_F(KvdFile, NoPeriodsWithoutAUsableRangeOrPeriod) {
    for (const char* period : {"0", "-15", "abc"}) {
        fake.properties[PROPERTY_STUDY_PERIODTIME] = period;
        EXPECT_EQ(Summaries(), "") << period;
    }
    fake.properties[PROPERTY_STUDY_PERIODTIME] = "15";
    fake.properties[PROPERTY_STUDY_ENDDATETIME] = "2013-07-30 10:00:00.000";
    EXPECT_EQ(Summaries(), "");
    fake.properties[PROPERTY_STUDY_BEGINDATETIME] = "garbage";
    fake.properties[PROPERTY_STUDY_ENDDATETIME] = "2013-07-30 11:00:00.000";
    const std::string text = Write();
    EXPECT_EQ(text.find(":B"), std::string::npos);
    EXPECT_EQ(text.find(":V"), std::string::npos);
    EXPECT_NE(text.find(":E1307301100\n:P15\n"), std::string::npos);
}

TEST_F(KvdFile, PartialLastPeriodIsStillListed) {
    fake.properties[PROPERTY_STUDY_ENDDATETIME] = "2013-07-30 10:20:00.000";
    EXPECT_EQ(Summaries(), Expected({{15}, {30}}));
}

TEST_F(KvdFile, FileThatCannotBeCreatedIsReported) {
    path = folder.Path() + "missing/deeper/kvd.dat";
    Write();
    EXPECT_FALSE(FileExists(path));
    const auto log = LogMessages(folder.Path() + "log/");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "E Failed to open " + path);
}

TEST(KvdClasses, CountTheBinsReachedInOrder) {
    const KvdClassTable table({20, 30, 40}, {20, 40});
    EXPECT_EQ(table.SpeedClassOf(10), 0u);
    EXPECT_EQ(table.SpeedClassOf(20), 1u);
    EXPECT_EQ(table.SpeedClassOf(25), 1u);
    EXPECT_EQ(table.SpeedClassOf(45), 3u);
    EXPECT_EQ(table.LengthClassOf(19), 0u);
    EXPECT_EQ(table.LengthClassOf(40), 2u);

    // Counting stops at the first bin not reached, even when later bins are lower.
    const KvdClassTable unordered({20, 50, 30}, {});
    EXPECT_EQ(unordered.SpeedClassOf(40), 1u);
}

TEST(KvdClasses, LeadingConsecutivePairDropsTheFirstBin) {
    const KvdClassTable table({1, 2, 30}, {5, 10});
    EXPECT_EQ(table.SpeedClassOf(25), 1u);
    EXPECT_EQ(table.SpeedClassOf(1), 0u);
    EXPECT_EQ(table.LengthClassOf(7), 0u);
    EXPECT_EQ(table.LengthClassOf(10), 1u);
    // The largest bin value does not wrap around when compared with its successor.
    const KvdClassTable large({4294967295u, 0}, {});
    EXPECT_EQ(large.SpeedClassOf(0), 0u);
}

TEST(KvdClasses, CountersStayInsideTheTable) {
    std::vector<uint32_t> many(40);
    for (size_t i = 0; i < many.size(); ++i) many[i] = static_cast<uint32_t>(i * 3 + 7);
    KvdClassTable table(many, many);
    table.Count(4294967295u, 4294967295u);
    table.Count(0, 0);
    EXPECT_EQ(table.At(14, 7), 1u);
    EXPECT_EQ(table.At(0, 0), 1u);
    EXPECT_EQ(table.At(15, 0), 0u);
    table.Clear();
    EXPECT_EQ(table.At(14, 7), 0u);
}

}  // namespace
}  // namespace tallyx::test

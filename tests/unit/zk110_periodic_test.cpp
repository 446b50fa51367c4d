// Model A periodic records: decoding the pages and counting each period's
// vehicles during a walk.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "values_test_driver.h"

namespace tallyx::testing {
namespace {

class ZK110PeriodicTest : public ::testing::Test {
protected:
    void SetUp() override {
        driver.Set(PROPERTY_STUDY_BEGINDATETIME, "2009-03-01 09:00:00.000");
        driver.Set(PROPERTY_STUDY_ENDDATETIME, "2009-03-01 10:00:00.000");
        driver.Set(PROPERTY_STUDY_PERIODTIME, "15");
        driver.Set(PROPERTY_STUDY_SPEEDBINS, "20 30 40");
        driver.Set(PROPERTY_STUDY_LENGTHBINS, "20 40");
    }

    int32_t ProcessPages(const std::vector<std::vector<uint8_t>>& pages) {
        std::vector<uint8_t> data;
        for (const auto& page : pages) AppendBytes(data, page);
        return driver.Values().DecodePeriodic(data.data(), static_cast<uint32_t>(data.size()));
    }

    void ProcessVehicles(const std::vector<std::vector<uint8_t>>& records) {
        std::vector<uint8_t> data;
        for (const auto& record : records) AppendBytes(data, record);
        ASSERT_EQ(0, driver.Values().DecodeSequential(data.data(), static_cast<uint32_t>(data.size())));
    }

    const ZK110PeriodicRecord& Period(uint32_t i) { return driver.Values().PeriodicRecords()[i]; }

    // Every CSV line of a periodic walk, header first.
    std::vector<std::string> Walk() {
        std::vector<std::string> lines;
        char line[1024];
        int32_t result = driver.FirstValue("GETVALUE_DATA_PERIODIC", "GETVALUE_FORMAT_CSV", line, sizeof line);
        while (result == 0) {
            lines.emplace_back(line);
            result = driver.NextValue(line, sizeof line);
        }
        EXPECT_EQ(2, result);
        return lines;
    }

    ValuesTestDriver driver;
};

TEST_F(ZK110PeriodicTest, PagesAreDecodedAndMissingPeriodEndsFilledIn) {
    ASSERT_EQ(0, ProcessPages({PeriodicPage(15, 20, 0x0105), PeriodicPage(30, 0, 7), PeriodicPage(0, 0, 0),
                               PeriodicPage(60, 0, 0), PeriodicPage(0, 0, 0)}));
    ASSERT_EQ(5u, driver.Values().PeriodicCount());
    EXPECT_EQ(15, Period(0).endOffsetMinutes);
    EXPECT_EQ(20, Period(0).temperature);
    EXPECT_EQ(261, Period(0).occupancy);
    EXPECT_EQ(1u, Period(0).recordNumber);
    EXPECT_EQ(45, Period(2).endOffsetMinutes);  // third period of 15 minutes
    EXPECT_EQ(60, Period(3).endOffsetMinutes);
    EXPECT_EQ(75, Period(4).endOffsetMinutes);
    EXPECT_EQ(5u, Period(4).recordNumber);
    EXPECT_EQ(2u, driver.Stats().recordsModified);
}

TEST_F(ZK110PeriodicTest, TemperatureKeepsTheSignOfFrostReadings) {
    ASSERT_EQ(0, ProcessPages({PeriodicPage(15, 0xFB, 0), PeriodicPage(30, 0x7F, 0), PeriodicPage(45, 0x80, 0),
                               PeriodicPage(60, 0xFF, 0)}));
    EXPECT_EQ(-5, Period(0).temperature);
    EXPECT_EQ(127, Period(1).temperature);
    EXPECT_EQ(-128, Period(2).temperature);
    EXPECT_EQ(-1, Period(3).temperature);
}

TEST_F(ZK110PeriodicTest, NoPagesLeaveNoPeriods) {
    EXPECT_EQ(0, driver.Values().DecodePeriodic(nullptr, 0));
    std::vector<uint8_t> shortData(259, 1);
    EXPECT_EQ(0, driver.Values().DecodePeriodic(shortData.data(), static_cast<uint32_t>(shortData.size())));
    EXPECT_EQ(0u, driver.Values().PeriodicCount());
    EXPECT_EQ(0u, driver.Stats().recordsModified);
}

TEST_F(ZK110PeriodicTest, PeriodsCountTheirVehiclesIntoSpeedAndLengthBins) {
    ProcessVehicles({
        RawRecord(0, 9, 0, 0, 0x02, 19, 10),   // period 1, speed row 0, length column 0
        RawRecord(0, 9, 14, 59, 0x04, 20, 20), // period 1, row 1, column 1, reverse
        RawRecord(0, 9, 15, 0, 0x02, 45, 45),  // period 2 starts at 09:15: row 3, column 2
        RawRecord(0, 9, 20, 0, 0x44, 60, 30),  // stopped reverse vehicle: counted, no bin
        RawRecord(0, 9, 50, 0, 0x02, 30, 141), // period 4, row 2, column 2
    });
    ASSERT_EQ(0, ProcessPages({PeriodicPage(15, 20, 5), PeriodicPage(30, 0xFB, 300), PeriodicPage(0, 0, 0),
                               PeriodicPage(60, 0x80, 1)}));
    const std::vector<std::string> lines = Walk();
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ("TimeStamp,Temperature,Occupancy,Count,ReverseCount,Bin_1_1,Bin_1_2,Bin_1_3,Bin_2_1,Bin_2_2,Bin_2_3,"
              "Bin_3_1,Bin_3_2,Bin_3_3,Bin_4_1,Bin_4_2,Bin_4_3",
              lines[0]);
    // Temperatures in Fahrenheit: 20 C = 68 F; -5 C = 23 F; 0 C = 32 F; -128 C = -198 F.
    EXPECT_EQ("2009-03-01 09:15:00.000,68,5,2,1,1,0,0,0,1,0,0,0,0,0,0,0", lines[1]);
    EXPECT_EQ("2009-03-01 09:30:00.000,23,300,2,1,0,0,0,0,0,0,0,0,0,0,0,1", lines[2]);
    EXPECT_EQ("2009-03-01 09:45:00.000,32,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", lines[3]);
    EXPECT_EQ("2009-03-01 10:00:00.000,-198,1,1,0,0,0,0,0,0,0,0,0,1,0,0,0", lines[4]);

    EXPECT_EQ(2, Period(0).count);
    EXPECT_EQ(1, Period(0).reverseCount);
    EXPECT_EQ(2, Period(1).count);
    EXPECT_EQ(1, Period(1).reverseCount);
}

TEST_F(ZK110PeriodicTest, SpeedLimitsDecideTheRow) {
    ProcessVehicles({RawRecord(0, 9, 1, 0, 2, 19, 10), RawRecord(0, 9, 2, 0, 2, 20, 10),
                     RawRecord(0, 9, 3, 0, 2, 29, 10), RawRecord(0, 9, 4, 0, 2, 40, 10),
                     RawRecord(0, 9, 5, 0, 2, 45, 10), RawRecord(0, 9, 6, 0, 2, 127, 10)});
    ASSERT_EQ(0, ProcessPages({PeriodicPage(15, 20, 0)}));
    const std::vector<std::string> lines = Walk();
    ASSERT_EQ(2u, lines.size());
    // Rows: 19 -> 0; 20 and 29 -> 1; 40, 45 and 127 -> 3; all in length column 0.
    EXPECT_EQ("2009-03-01 09:15:00.000,68,0,6,0,1,0,0,2,0,0,0,0,0,3,0,0", lines[1]);
}

TEST_F(ZK110PeriodicTest, TwoWalksGiveTheSameLines) {
    ProcessVehicles({RawRecord(0, 9, 1, 0, 2, 25, 10), RawRecord(0, 9, 16, 0, 4, 35, 25),
                     RawRecord(0, 9, 59, 59, 2, 50, 50)});
    ASSERT_EQ(0, ProcessPages({PeriodicPage(15, 1, 1), PeriodicPage(30, 2, 2), PeriodicPage(45, 3, 3),
                               PeriodicPage(60, 4, 4)}));
    const std::vector<std::string> first = Walk();
    const std::vector<std::string> second = Walk();
    ASSERT_EQ(5u, first.size());
    EXPECT_EQ(first, second);
    EXPECT_EQ("2009-03-01 10:00:00.000,39,4,1,0,0,0,0,0,0,0,0,0,0,0,0,1", first[4]);
}

TEST_F(ZK110PeriodicTest, WithoutOneBinListTheCellsAreZeroButVehiclesAreCounted) {
    ProcessVehicles({RawRecord(0, 9, 1, 0, 2, 25, 10)});
    ASSERT_EQ(0, ProcessPages({PeriodicPage(15, 20, 4)}));
    driver.Set(PROPERTY_STUDY_SPEEDBINS, "");
    std::vector<std::string> lines = Walk();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("TimeStamp,Temperature,Occupancy,Count,ReverseCount,Bin_1_1,Bin_1_2,Bin_1_3", lines[0]);
    EXPECT_EQ("2009-03-01 09:15:00.000,68,4,1,0,0,0,0", lines[1]);

    driver.Set(PROPERTY_STUDY_LENGTHBINS, "");
    lines = Walk();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("TimeStamp,Temperature,Occupancy,Count,ReverseCount,Bin_1_1", lines[0]);
    EXPECT_EQ("2009-03-01 09:15:00.000,68,4,1,0,0", lines[1]);

    char element[1024];
    ASSERT_EQ(0, driver.FirstValue("GETVALUE_DATA_PERIODIC", "GETVALUE_FORMAT_XML", element, sizeof element));
    EXPECT_EQ("<Periodic><TimeStamp>2009-03-01 09:15:00.000</TimeStamp><Temperature>68</Temperature>"
              "<Occupancy>4</Occupancy><Count>1</Count><ReverseCount>0</ReverseCount>"
              "<Bin><1><1>0</1></1></Bin></Periodic>",
              std::string(element));
}

}  // namespace
}  // namespace tallyx::testing

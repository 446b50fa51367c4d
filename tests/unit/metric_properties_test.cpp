// Study values in metric units: the store keeps miles per hour and feet and
// converts at the caller's boundary. Expected numbers are worked out by hand
// from the factors 0.6213712 (mph per km/h) and 0.328084 (feet per dm).
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <tallyx/tallyx.h>

namespace {

class MetricProperties : public ::testing::Test {
protected:
    void SetUp() override {
        handle = Init();
        ASSERT_NE(handle, nullptr);
        UseMetric(true);
    }
    void TearDown() override { Term(handle); }

    void UseMetric(bool metric) {
        ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_MEASUREMENTUNITS,
                              metric ? STUDY_MEASUREMENTUNITS_METRIC : STUDY_MEASUREMENTUNITS_US),
                  RETCODE_OK);
    }
    std::string Read(const char* name) {
        char buffer[4096];
        int32_t result = GetProperty(handle, name, buffer, sizeof buffer);
        EXPECT_EQ(result, RETCODE_OK) << name;
        return result == RETCODE_OK ? std::string(buffer) : std::string("<error>");
    }
    // What the store keeps, seen in US units.
    std::string Stored(const char* name) {
        UseMetric(false);
        std::string value = Read(name);
        UseMetric(true);
        return value;
    }

    TallyxHandle handle = nullptr;
};

TEST_F(MetricProperties, SpeedLimitIsKeptInMilesPerHour) {
    // 100 km/h = 62.14 mph, stored 62; 62 mph = 99.78 km/h, shown 100.
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_SPEEDLIMIT, "100"), RETCODE_OK);
    EXPECT_EQ(Stored(PROPERTY_STUDY_SPEEDLIMIT), "62");
    EXPECT_EQ(Read(PROPERTY_STUDY_SPEEDLIMIT), "100");

    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_SPEEDLIMIT, "0"), RETCODE_OK);
    EXPECT_EQ(Stored(PROPERTY_STUDY_SPEEDLIMIT), "0");
    EXPECT_EQ(Read(PROPERTY_STUDY_SPEEDLIMIT), "0");

    // 050 km/h = 31.07 mph.
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_SPEEDLIMIT, "050"), RETCODE_OK);
    EXPECT_EQ(Stored(PROPERTY_STUDY_SPEEDLIMIT), "31");
}

TEST_F(MetricProperties, UnsetSpeedLimitStaysEmpty) { EXPECT_EQ(Read(PROPERTY_STUDY_SPEEDLIMIT), ""); }

TEST_F(MetricProperties, EveryMultipleOfFiveKmhSurvivesTheRoundTrip) {
    std::string list;
    for (int kmh = 5; kmh <= 200; kmh += 5) {
        std::string text = std::to_string(kmh);
        ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_SPEEDLIMIT, text.c_str()), RETCODE_OK);
        EXPECT_EQ(Read(PROPERTY_STUDY_SPEEDLIMIT), text) << "speed limit " << kmh << " km/h";
        list += (list.empty() ? "" : " ") + text;
    }
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_SPEEDBINS, list.c_str()), RETCODE_OK);
    EXPECT_EQ(Read(PROPERTY_STUDY_SPEEDBINS), list);
}

TEST_F(MetricProperties, SpeedBinsAreConvertedBothWays) {
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_SPEEDBINS, "20 40 60 80 100 120"), RETCODE_OK);
    // 12.43, 24.85, 37.28, 49.71, 62.14, 74.56 mph.
    EXPECT_EQ(Stored(PROPERTY_STUDY_SPEEDBINS), "12 25 37 50 62 75");
    EXPECT_EQ(Read(PROPERTY_STUDY_SPEEDBINS), "20 40 60 80 100 120");
}

TEST_F(MetricProperties, LengthBinsAreConvertedBothWays) {
    // 1 dm = 0.33 ft, which would round to 0: a non-zero length keeps 1 foot,
    // and 1 foot = 3.05 dm.
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_LENGTHBINS, "1"), RETCODE_OK);
    EXPECT_EQ(Stored(PROPERTY_STUDY_LENGTHBINS), "1");
    EXPECT_EQ(Read(PROPERTY_STUDY_LENGTHBINS), "3");

    // 10, 20, 30 dm = 3.28, 6.56, 9.84 ft; separators become single spaces.
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_LENGTHBINS, "10,20;30"), RETCODE_OK);
    EXPECT_EQ(Stored(PROPERTY_STUDY_LENGTHBINS), "3 7 10");
    // 3, 7, 10 ft = 9.14, 21.34, 30.48 dm.
    EXPECT_EQ(Read(PROPERTY_STUDY_LENGTHBINS), "9 21 30");
}

TEST_F(MetricProperties, UsListsAreRebuiltWithSpacesWhenReadInMetric) {
    UseMetric(false);
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_LENGTHBINS, "10,20,30"), RETCODE_OK);
    EXPECT_EQ(Read(PROPERTY_STUDY_LENGTHBINS), "10,20,30");
    UseMetric(true);
    // 10, 20, 30 ft = 30.48, 60.96, 91.44 dm.
    EXPECT_EQ(Read(PROPERTY_STUDY_LENGTHBINS), "30 61 91");
}

TEST_F(MetricProperties, SwitchingUnitsConvertsNothingStored) {
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_SPEEDBINS, "50 100"), RETCODE_OK);
    UseMetric(false);
    // 31.07 and 62.14 mph, read as they are.
    EXPECT_EQ(Read(PROPERTY_STUDY_SPEEDBINS), "31 62");
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_SPEEDBINS, "50 100"), RETCODE_OK);
    EXPECT_EQ(Read(PROPERTY_STUDY_SPEEDBINS), "50 100");
}

TEST_F(MetricProperties, OnlyTheThreeStudyMeasuresAreConverted) {
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_PERIODTIME, "100"), RETCODE_OK);
    ASSERT_EQ(SetProperty(handle, PROPERTY_COMM_BAUD, "9600"), RETCODE_OK);
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_CITY, "100 200"), RETCODE_OK);
    EXPECT_EQ(Stored(PROPERTY_STUDY_PERIODTIME), "100");
    EXPECT_EQ(Read(PROPERTY_COMM_BAUD), "9600");
    EXPECT_EQ(Read(PROPERTY_STUDY_CITY), "100 200");
}

TEST_F(MetricProperties, MetricIsRecognisedInAnyLetterCase) {
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_MEASUREMENTUNITS, "Study_MeasurementUnits_Metric"), RETCODE_OK);
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_SPEEDLIMIT, "100"), RETCODE_OK);
    EXPECT_EQ(Stored(PROPERTY_STUDY_SPEEDLIMIT), "62");
}

TEST_F(MetricProperties, ConvertedValueMustFitTheCallersBuffer) {
    // Stored "62" fits three bytes, but the converted "100" needs four.
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_SPEEDLIMIT, "100"), RETCODE_OK);
    char buffer[8];
    EXPECT_EQ(GetProperty(handle, PROPERTY_STUDY_SPEEDLIMIT, buffer, 3), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_LT(strnlen(buffer, 3), 3u) << "a failed conversion still leaves a terminated text";
    EXPECT_EQ(GetProperty(handle, PROPERTY_STUDY_SPEEDLIMIT, buffer, 4), RETCODE_OK);
    EXPECT_STREQ(buffer, "100");

    // "20 40 60 80 100 120" has 19 characters.
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_SPEEDBINS, "20 40 60 80 100 120"), RETCODE_OK);
    char list[32];
    EXPECT_EQ(GetProperty(handle, PROPERTY_STUDY_SPEEDBINS, list, 19), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_LT(strnlen(list, 19), 19u);
    EXPECT_EQ(GetProperty(handle, PROPERTY_STUDY_SPEEDBINS, list, 20), RETCODE_OK);
    EXPECT_STREQ(list, "20 40 60 80 100 120");
}

TEST_F(MetricProperties, ConvertedListsMayOutgrowTheStoredText) {
    // 34 to 99 ft are 66 two-digit numbers (197 characters); as decimetres
    // (103.6 to 301.8) they are 66 three-digit numbers: 263 characters.
    UseMetric(false);
    std::string list;
    for (int ft = 34; ft <= 99; ++ft) list += (list.empty() ? "" : " ") + std::to_string(ft);
    ASSERT_EQ(list.size(), 197u);
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_LENGTHBINS, list.c_str()), RETCODE_OK);
    UseMetric(true);
    char buffer[300];
    EXPECT_EQ(GetProperty(handle, PROPERTY_STUDY_LENGTHBINS, buffer, 263), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_LT(strnlen(buffer, 263), 263u);
    ASSERT_EQ(GetProperty(handle, PROPERTY_STUDY_LENGTHBINS, buffer, 264), RETCODE_OK);
    EXPECT_EQ(std::strlen(buffer), 263u);
    EXPECT_EQ(std::string(buffer).substr(0, 8), "104 107 ");  // 34 ft = 103.63 dm, 35 ft = 106.68 dm
}

TEST_F(MetricProperties, HugeBinNumbersSaturateInsteadOfOverflowing) {
    // A digit run beyond 32 bits counts as 2147483647 km/h, which is
    // 1334384511.2 mph.
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_SPEEDBINS, ("1 " + std::string(60, '9')).c_str()), RETCODE_OK);
    EXPECT_EQ(Stored(PROPERTY_STUDY_SPEEDBINS), "1 1334384511");
    // 2147483647 ft would be 6.5e9 dm: the most a 32-bit number holds.
    UseMetric(false);
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_LENGTHBINS, ("1 " + std::string(60, '9')).c_str()), RETCODE_OK);
    UseMetric(true);
    EXPECT_EQ(Read(PROPERTY_STUDY_LENGTHBINS), "3 4294967295");
}

}  // namespace

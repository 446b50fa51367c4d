// Checking the study settings before a counter is programmed. The times are
// set relative to the computer's clock.
#include <string>

#include <gtest/gtest.h>

#include "values_test_driver.h"

namespace tallyx::testing {
namespace {

class StudyValidationTest : public ::testing::Test {
protected:
    void SetUp() override {
        begin = DateTime::Now();
        begin.Milliseconds = 0;
        begin.AddTime(0, 0, 2, 0, 0);
        SetStudy(0, 60, 0);
        driver.Set(PROPERTY_STUDY_PERIODTIME, "15");
        driver.Set(PROPERTY_STUDY_SPEEDBINS, "20 30 40");
        driver.Set(PROPERTY_STUDY_LENGTHBINS, "20 40");
    }

    static std::string At(DateTime time, int32_t minutes, int32_t seconds) {
        time.AddTime(0, 0, minutes, seconds, 0);
        return Text(time);
    }

    // Begin and end as offsets from the begin chosen in SetUp.
    void SetStudy(int32_t beginSeconds, int32_t endMinutes, int32_t endSeconds) {
        driver.Set(PROPERTY_STUDY_BEGINDATETIME, At(begin, 0, beginSeconds));
        driver.Set(PROPERTY_STUDY_ENDDATETIME, At(begin, endMinutes, endSeconds));
    }

    int32_t Validate() { return driver.Values().ValidateStudy(); }

    ValuesTestDriver driver;
    DateTime begin;  // two minutes from now
};

TEST_F(StudyValidationTest, AStudyTwoMinutesAheadOfOneHourWithPeriod15IsValid) { EXPECT_EQ(0, Validate()); }

TEST_F(StudyValidationTest, BeginMustBeAtLeastOneMinuteAhead) {
    driver.Set(PROPERTY_STUDY_BEGINDATETIME, At(DateTime::Now(), 0, 30));
    EXPECT_EQ(RETCODE_ERR_BADSTARTDATETIME, Validate());
    driver.Set(PROPERTY_STUDY_BEGINDATETIME, "");
    EXPECT_EQ(RETCODE_ERR_BADSTARTDATETIME, Validate());
    // Not a real date: month 13.
    driver.Set(PROPERTY_STUDY_BEGINDATETIME, "2999-13-01 00:00:00.000");
    EXPECT_EQ(RETCODE_ERR_BADSTARTDATETIME, Validate());
}

TEST_F(StudyValidationTest, EndMustBeAtLeastOneMinuteAhead) {
    driver.Set(PROPERTY_STUDY_ENDDATETIME, At(DateTime::Now(), 0, 30));
    EXPECT_EQ(RETCODE_ERR_BADENDDATETIME, Validate());
    driver.Set(PROPERTY_STUDY_ENDDATETIME, "tomorrow");
    EXPECT_EQ(RETCODE_ERR_BADENDDATETIME, Validate());
    driver.Set(PROPERTY_STUDY_ENDDATETIME, "2999-02-30 00:00:00.000");
    EXPECT_EQ(RETCODE_ERR_BADENDDATETIME, Validate());
}

TEST_F(StudyValidationTest, BeginMustBeBeforeEnd) {
    SetStudy(0, 0, 0);
    EXPECT_EQ(RETCODE_ERR_BADRANGE, Validate());
    SetStudy(60, 0, 59);
    EXPECT_EQ(RETCODE_ERR_BADRANGE, Validate());
}

TEST_F(StudyValidationTest, PeriodIsOneTo240Minutes) {
    SetStudy(0, 240, 0);
    driver.Set(PROPERTY_STUDY_PERIODTIME, "240");
    EXPECT_EQ(0, Validate());
    driver.Set(PROPERTY_STUDY_PERIODTIME, "241");
    EXPECT_EQ(RETCODE_ERR_BADPERIOD, Validate());
    driver.Set(PROPERTY_STUDY_PERIODTIME, "0");
    EXPECT_EQ(RETCODE_ERR_BADPERIOD, Validate());
    driver.Set(PROPERTY_STUDY_PERIODTIME, "-15");
    EXPECT_EQ(RETCODE_ERR_BADPERIOD, Validate());
    driver.Set(PROPERTY_STUDY_PERIODTIME, "1");
    EXPECT_EQ(0, Validate());
}

TEST_F(StudyValidationTest, StudyMustBeWholePeriodsIgnoringExtraSeconds) {
    SetStudy(0, 61, 0);
    EXPECT_EQ(RETCODE_ERR_PARTIALLASTPERIOD, Validate());
    driver.Set(PROPERTY_STUDY_PERIODTIME, "61");
    EXPECT_EQ(0, Validate());
    SetStudy(0, 61, 30);  // 61 minutes and 30 seconds count as 61 minutes
    EXPECT_EQ(0, Validate());
}

TEST_F(StudyValidationTest, AtMost4000Periods) {
    driver.Set(PROPERTY_STUDY_PERIODTIME, "1");
    SetStudy(0, 4000, 0);
    EXPECT_EQ(0, Validate());
    SetStudy(0, 4001, 0);
    EXPECT_EQ(RETCODE_ERR_RANGETOOBIG, Validate());
    driver.Set(PROPERTY_STUDY_PERIODTIME, "15");
    SetStudy(0, 4000 * 15, 0);
    EXPECT_EQ(0, Validate());
    SetStudy(0, 4001 * 15, 0);
    EXPECT_EQ(RETCODE_ERR_RANGETOOBIG, Validate());
}

TEST_F(StudyValidationTest, BinListsNeedANumberSpeedFirst) {
    driver.Set(PROPERTY_STUDY_SPEEDBINS, "");
    driver.Set(PROPERTY_STUDY_LENGTHBINS, "");
    EXPECT_EQ(RETCODE_ERR_BADSPEEDBINS, Validate());
    driver.Set(PROPERTY_STUDY_SPEEDBINS, " , ");
    EXPECT_EQ(RETCODE_ERR_BADSPEEDBINS, Validate());
    driver.Set(PROPERTY_STUDY_SPEEDBINS, "30");
    EXPECT_EQ(RETCODE_ERR_BADLENGTHBINS, Validate());
    driver.Set(PROPERTY_STUDY_LENGTHBINS, "-;0");
    EXPECT_EQ(0, Validate());
}

TEST_F(StudyValidationTest, TheFirstFailingCheckDecides) {
    // Everything wrong at once: the begin time is reported.
    driver.Set(PROPERTY_STUDY_BEGINDATETIME, "");
    driver.Set(PROPERTY_STUDY_ENDDATETIME, "");
    driver.Set(PROPERTY_STUDY_PERIODTIME, "0");
    driver.Set(PROPERTY_STUDY_SPEEDBINS, "");
    EXPECT_EQ(RETCODE_ERR_BADSTARTDATETIME, Validate());
    SetStudy(0, 0, 0);
    EXPECT_EQ(RETCODE_ERR_BADRANGE, Validate());
    SetStudy(0, 61, 0);
    EXPECT_EQ(RETCODE_ERR_BADPERIOD, Validate());
    driver.Set(PROPERTY_STUDY_PERIODTIME, "15");
    EXPECT_EQ(RETCODE_ERR_PARTIALLASTPERIOD, Validate());
}

}  // namespace
}  // namespace tallyx::testing

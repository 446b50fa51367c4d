// How the answers of a model A read become properties.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "drivers/modela/zk110_values.h"
#include "values_test_driver.h"

namespace tallyx::testing {
namespace {

class ZK110AnswerTest : public ::testing::Test {
protected:
    void Parse(const std::string& answer) {
        EXPECT_EQ(0, driver.Values().ParseAnswer("", answer.c_str()));
    }
    std::string Get(const char* name) const { return driver.Get(name); }

    ValuesTestDriver driver;
};

TEST_F(ZK110AnswerTest, FreeTextsStartAtTheFifthCharacterWithoutLeadingSpaces) {
    Parse(":X:0  TX");
    Parse(":X:1Springfield");
    Parse(":X:2 Greene");
    Parse(":X:3 Main St");
    Parse(":X:4 NB");
    Parse(":X:5 45");
    Parse(":X:6 AB");
    Parse(":X:7 SN-0042");
    Parse(":X:8 ZK110");
    EXPECT_EQ("TX", Get(PROPERTY_STUDY_STATE));
    EXPECT_EQ("Springfield", Get(PROPERTY_STUDY_CITY));
    EXPECT_EQ("Greene", Get(PROPERTY_STUDY_COUNTY));
    EXPECT_EQ("Main St", Get(PROPERTY_STUDY_ADDRESS));
    EXPECT_EQ("NB", Get(PROPERTY_STUDY_LANE));
    EXPECT_EQ("45", Get(PROPERTY_STUDY_SPEEDLIMIT));
    EXPECT_EQ("AB", Get(PROPERTY_STUDY_OPERATOR));
    EXPECT_EQ("SN-0042", Get(PROPERTY_DEV_SERIALNO));
    EXPECT_EQ("ZK110", Get(PROPERTY_DEV_UNITTYPE));

    // An echo alone gives the empty text.
    Parse(":X:4");
    EXPECT_EQ("", Get(PROPERTY_STUDY_LANE));
}

TEST_F(ZK110AnswerTest, TheAnswerDecidesNotTheCommand) {
    // Every answer begins with an echo of what it answers.
    EXPECT_EQ(0, driver.Values().ParseAnswer(":R:X:8", ":X:7 SN1234"));
    EXPECT_EQ("SN1234", Get(PROPERTY_DEV_SERIALNO));
    EXPECT_EQ("", Get(PROPERTY_DEV_UNITTYPE));
    EXPECT_EQ(0, driver.Values().ParseAnswer(":R:X:7", nullptr));
    EXPECT_EQ(0, driver.Values().ParseAnswer(":R:X:7", ""));
    EXPECT_EQ("SN1234", Get(PROPERTY_DEV_SERIALNO));
}

TEST_F(ZK110AnswerTest, BatteryVoltageSetsThePercentageByThresholds) {
    struct Case {
        const char* answer;
        const char* voltage;
        const char* percent;
    };
    const Case cases[] = {
        {":b:3.80", "3.80", "30"},   {":b:4.19", "4.19", "100"}, {":b:3.739", "3.739", "15"},
        {":b:3.74", "3.74", "30"},   {":b:3.86", "3.86", "50"},  {":b:3.90", "3.90", "75"},
        {":b:4.189", "4.189", "90"},
    };
    for (const Case& c : cases) {
        Parse(c.answer);
        EXPECT_EQ(c.voltage, Get(PROPERTY_DEV_BATTERYVOLTAGE)) << c.answer;
        EXPECT_EQ(c.percent, Get(PROPERTY_DEV_BATTERYPERCENT)) << c.answer;
    }
}

TEST_F(ZK110AnswerTest, UnitWithoutVoltageKeepsThePreviousOne) {
    Parse(":b:N");
    EXPECT_EQ("", Get(PROPERTY_DEV_BATTERYVOLTAGE));
    Parse(":b:3.90");
    Parse(":b:N");
    EXPECT_EQ("3.90", Get(PROPERTY_DEV_BATTERYVOLTAGE));
    EXPECT_EQ("75", Get(PROPERTY_DEV_BATTERYPERCENT));
}

TEST_F(ZK110AnswerTest, LegacyRawReadingIsConvertedToVolts) {
    // The driver relabels the legacy ":B" answer as ":b" before parsing.
    Parse(":b1A3");
    // (419 - (188 - 419) * 0.22) * 0.0129 * 1.6 = 469.82 * 0.02064 = 9.6970848
    EXPECT_EQ("9.697085", Get(PROPERTY_DEV_BATTERYVOLTAGE));
    EXPECT_EQ("100", Get(PROPERTY_DEV_BATTERYPERCENT));
    EXPECT_NEAR(9.6970848, LegacyBatteryVoltage(0x1A3), 1e-9);
}

TEST_F(ZK110AnswerTest, AccumulatedChargeReplacesThePercentageWhenFullChargeIsKnown) {
    Parse(":b:3.80");
    Parse(":J:1234_45_x_60_more");
    EXPECT_EQ("1234_45_x_60_more", Get(PROPERTY_DEV_ACR));
    EXPECT_EQ("75", Get(PROPERTY_DEV_BATTERYPERCENT));  // 45 * 100 / 60

    Parse(":b:3.80");
    Parse(":J:1_20_3_0");
    EXPECT_EQ("1_20_3_0", Get(PROPERTY_DEV_ACR));
    EXPECT_EQ("30", Get(PROPERTY_DEV_BATTERYPERCENT)) << "field 3 zero leaves the voltage's percentage";

    Parse(":J:1_20_3");
    EXPECT_EQ("30", Get(PROPERTY_DEV_BATTERYPERCENT)) << "field 3 missing leaves the voltage's percentage";

    Parse(":J:0_33_0_99");
    EXPECT_EQ("33", Get(PROPERTY_DEV_BATTERYPERCENT));  // truncated: 3300 / 99 = 33.3
}

TEST_F(ZK110AnswerTest, FinishCodeIsHexadecimalWithStatesMapped) {
    struct Case {
        const char* answer;
        const char* code;
    };
    const Case cases[] = {{":F2C", "14"}, {":FB", "11"}, {":F28", "0"},  {":F29", "1"}, {":F2A", "0"},
                          {":F2B", "0"},  {":F2D", "15"}, {":F2E", "20"}, {":F0D", "13"}, {":F", "0"}};
    for (const Case& c : cases) {
        Parse(c.answer);
        EXPECT_EQ(c.code, Get(PROPERTY_STUDY_FCODE)) << c.answer;
    }
}

TEST_F(ZK110AnswerTest, FirmwareAnswerIsToldApartByItsAngleBracket) {
    Parse(":F  ZK>2.17b");
    EXPECT_EQ("ZK>2.17b", Get(PROPERTY_DEV_FIRMWAREREV));
    EXPECT_EQ("", Get(PROPERTY_STUDY_FCODE));
}

TEST_F(ZK110AnswerTest, StudyTimesComeFromTheClockText) {
    Parse(":B090307140500");
    Parse(":E 100102030405");
    EXPECT_EQ("2009-03-07 14:05:00.000", Get(PROPERTY_STUDY_BEGINDATETIME));
    EXPECT_EQ("2010-01-02 03:04:05.000", Get(PROPERTY_STUDY_ENDDATETIME));
    Parse(":B0903");  // missing pairs count as 0
    EXPECT_EQ("2009-03-00 00:00:00.000", Get(PROPERTY_STUDY_BEGINDATETIME));
}

TEST_F(ZK110AnswerTest, RangeAndPeriodAreHexadecimalMinutes) {
    Parse(":H5A0");
    Parse(":P0f");
    EXPECT_EQ("1440", Get(PROPERTY_STUDY_RANGETIME));
    EXPECT_EQ("15", Get(PROPERTY_STUDY_PERIODTIME));
    Parse(":Pxyz");
    EXPECT_EQ("0", Get(PROPERTY_STUDY_PERIODTIME));
}

TEST_F(ZK110AnswerTest, BinListsAreRewrittenInDecimalUpToTheFirstZero) {
    Parse(":S0A,14,1E,00");
    EXPECT_EQ("10,20,30,", Get(PROPERTY_STUDY_SPEEDBINS));
    Parse(":C0A 14 1E 00 00");
    EXPECT_EQ("10 20 30", Get(PROPERTY_STUDY_LENGTHBINS));
    Parse(":C 06 0C  ff 0 77");
    EXPECT_EQ("6 12  255", Get(PROPERTY_STUDY_LENGTHBINS));
    Parse(":S14;28");
    EXPECT_EQ("20;40", Get(PROPERTY_STUDY_SPEEDBINS));
}

TEST_F(ZK110AnswerTest, BinListConversionNeverWritesPastItsOutput) {
    // "A," becomes "10,": the list grows, and a full answer is cut, not overrun.
    std::string list;
    while (list.size() < 1020) list += "A,";
    char output[64];
    std::memset(output, 'x', sizeof output);
    ConvertHexBinList(list.c_str(), output, sizeof output);
    EXPECT_LT(std::strlen(output), sizeof output);
    EXPECT_EQ(0, std::strncmp(output, "10,10,10,", 9));

    Parse(":S" + list);
    EXPECT_LT(Get(PROPERTY_STUDY_SPEEDBINS).size(), 1024u);
    EXPECT_EQ("10,10,", Get(PROPERTY_STUDY_SPEEDBINS).substr(0, 6));
}

TEST_F(ZK110AnswerTest, DateEncodingFlagFollowsTheLetterS) {
    Parse(":Qs");
    EXPECT_TRUE(driver.Values().DateEncoding());
    Parse(":Q");
    EXPECT_FALSE(driver.Values().DateEncoding());
}

TEST_F(ZK110AnswerTest, UnknownAnswersChangeNothing) {
    Parse(":Z:1 hello");
    Parse("X:0 no colon");
    Parse("");
    EXPECT_EQ("", Get(PROPERTY_STUDY_STATE));
    EXPECT_EQ("", Get(PROPERTY_DEV_SERIALNO));
}

TEST(ZK110AnswerTextTest, HexNumbersSaturateAndStopAtTheFirstOtherCharacter) {
    EXPECT_EQ(0x1A3u, ParseHexNumber("1a3|"));
    EXPECT_EQ(0u, ParseHexNumber(""));
    EXPECT_EQ(0xFFFFFFFFu, ParseHexNumber("123456789ABCDEF"));
    EXPECT_STREQ("", AnswerTextFrom(":X", 5));
    EXPECT_STREQ("ab", AnswerTextFrom(":X:0   ab", 5));
}

}  // namespace
}  // namespace tallyx::testing

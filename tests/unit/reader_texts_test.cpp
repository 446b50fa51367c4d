// The texts the reader reads and writes: return-code names, version strings,
// numbers, bin lists, vehicle lines and date-time stamps.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <tallyx/tallyx.h>

#include "reader/number_text.h"
#include "reader/return_code_text.h"
#include "reader/sequential_line.h"
#include "reader/version_banner.h"

namespace tallyx {
namespace {

TEST(ReturnCodeText, KnownErrorsByNameEverythingElseUnknown) {
    EXPECT_EQ(ReturnCodeText(RETCODE_ERR_FAILEDTOWAKEUP), "RETCODE_ERR_FAILEDTOWAKEUP (-34)");
    EXPECT_EQ(ReturnCodeText(RETCODE_ERR_INVALIDHANDLE), "RETCODE_ERR_INVALIDHANDLE (-1)");
    EXPECT_EQ(ReturnCodeText(RETCODE_ERR_NOTIMPLEMENTED), "RETCODE_ERR_NOTIMPLEMENTED (-100)");
    EXPECT_EQ(ReturnCodeText(RETCODE_ERR_BUFFERTOOSMALL), "Unknown (-101)");
    EXPECT_EQ(ReturnCodeText(RETCODE_OK), "Unknown (0)");
    EXPECT_EQ(ReturnCodeText(RETCODE_ABORTED), "Unknown (1)");
    EXPECT_EQ(ReturnCodeText(RETCODE_NOMOREVALUES), "Unknown (2)");
    EXPECT_EQ(ReturnCodeText(-2), "Unknown (-2)");
    EXPECT_EQ(ReturnCodeText(-2147483647 - 1), "Unknown (-2147483648)");
}

TEST(ReturnCodeText, ExactlyTheThirtyOneErrorsHaveNames) {
    const std::vector<std::pair<int32_t, std::string>> known = {
        {-100, "RETCODE_ERR_NOTIMPLEMENTED"},     {-62, "RETCODE_ERR_ITERNOTINITIALIZED"},
        {-61, "RETCODE_ERR_BADFORMATTYPE"},       {-60, "RETCODE_ERR_BADDATATYPE"},
        {-55, "RETCODE_ERR_BADRESPONSE"},         {-54, "RETCODE_ERR_CRC"},
        {-53, "RETCODE_ERR_READNOCRC"},           {-50, "RETCODE_ERR_READ"},
        {-43, "RETCODE_ERR_CONFIRMATION"},        {-42, "RETCODE_ERR_ERASEMEMORY"},
        {-41, "RETCODE_ERR_BADUNITTYPE"},         {-40, "RETCODE_ERR_SENDINGDATA"},
        {-34, "RETCODE_ERR_FAILEDTOWAKEUP"},      {-33, "RETCODE_ERR_CANTCONFIGPORTHS"},
        {-32, "RETCODE_ERR_CANTCONFIGPORT"},      {-31, "RETCODE_ERR_CANTOPENPORT"},
        {-30, "RETCODE_ERR_PORTCLOSED"},          {-22, "RETCODE_ERR_OUTOFSEQUENCE"},
        {-21, "RETCODE_ERR_BADLENGTHBINS"},       {-20, "RETCODE_ERR_BADSPEEDBINS"},
        {-19, "RETCODE_ERR_BADENDDATETIME"},      {-18, "RETCODE_ERR_BADSTARTDATETIME"},
        {-17, "RETCODE_ERR_RANGETOOBIG"},         {-16, "RETCODE_ERR_PARTIALLASTPERIOD"},
        {-15, "RETCODE_ERR_BADPERIOD"},           {-14, "RETCODE_ERR_BADRANGE"},
        {-13, "RETCODE_ERR_READONLYPROPERTY"},    {-12, "RETCODE_ERR_VALUETOOBIG"},
        {-11, "RETCODE_ERR_INVALIDPROPERTYVALUE"}, {-10, "RETCODE_ERR_INVALIDPROPERTY"},
        {-1, "RETCODE_ERR_INVALIDHANDLE"},
    };
    ASSERT_EQ(known.size(), 31u);
    for (const auto& [code, name] : known) EXPECT_EQ(ReturnCodeName(code), name) << code;
    int named = 0;
    for (int32_t code = -200; code <= 200; ++code) {
        if (std::string(ReturnCodeName(code)) != "Unknown") ++named;
    }
    EXPECT_EQ(named, 31);
}

TEST(VersionText, CommasBecomeDotsAndBlanksGo) {
    EXPECT_EQ(NormaliseVersion("1, 0, 0, 0"), "1.0.0.0");
    EXPECT_EQ(NormaliseVersion(" 2 ,3,  4 , 5 "), "2.3.4.5");
    EXPECT_EQ(NormaliseVersion(""), "");
    const VersionInfo info{"tallyread", "1, 2, 3, 4", "5, 6", "(C) us"};
    EXPECT_EQ(VersionLine(info), "tallyread v1.2.3.4");
}

TEST(NumberText, DecimalReadsLikeAtol) {
    EXPECT_EQ(ParseDecimal("15"), 15);
    EXPECT_EQ(ParseDecimal("  -7x"), -7);
    EXPECT_EQ(ParseDecimal("+3"), 3);
    EXPECT_EQ(ParseDecimal("abc"), 0);
    EXPECT_EQ(ParseDecimal(""), 0);
    EXPECT_EQ(ParseDecimal("99999999999999999999"), 2147483647);
    EXPECT_EQ(ParseDecimal("-99999999999999999999"), -2147483647 - 1);
}

TEST(NumberText, BinListsAreDigitRuns) {
    EXPECT_EQ(ParseBinNumbers("10, 20;30"), (std::vector<uint32_t>{10, 20, 30}));
    EXPECT_EQ(ParseBinNumbers("1.5"), (std::vector<uint32_t>{1, 5}));
    EXPECT_EQ(ParseBinNumbers("-7"), (std::vector<uint32_t>{7}));
    EXPECT_EQ(ParseBinNumbers("none"), std::vector<uint32_t>{});
    EXPECT_EQ(ParseBinNumbers("123456789012 4"), (std::vector<uint32_t>{2147483647, 4}));
    std::string many;
    for (int i = 0; i < 600; ++i) many += std::to_string(i) + " ";
    const auto numbers = ParseBinNumbers(many);
    ASSERT_EQ(numbers.size(), 600u);
    EXPECT_EQ(numbers[599], 599u);
}

TEST(SequentialLineText, ColumnsInOrder) {
    const auto line = SequentialLine::Parse("2009-03-04 14:05:30.250,258,FORWARD+MODIFIED_TIMESTAMP,48,18");
    ASSERT_TRUE(line.time.has_value());
    EXPECT_EQ(line.time->year, 2009u);
    EXPECT_EQ(line.time->month, 3u);
    EXPECT_EQ(line.time->day, 4u);
    EXPECT_EQ(line.time->hour, 14u);
    EXPECT_EQ(line.time->minute, 5u);
    EXPECT_EQ(line.time->second, 30u);
    EXPECT_EQ(line.time->millisecond, 250u);
    EXPECT_EQ(line.flag, 258);
    EXPECT_EQ(line.description, "FORWARD+MODIFIED_TIMESTAMP");
    EXPECT_EQ(line.speed, 48u);
    EXPECT_EQ(line.length, 18u);
}

TEST(SequentialLineText, MissingOrOddColumnsReadAsNothing) {
    const auto empty = SequentialLine::Parse("2009-03-04 14:05:30.000,2,,,");
    EXPECT_EQ(empty.description, "");
    EXPECT_EQ(empty.speed, 0u);
    const auto shortLine = SequentialLine::Parse("2009-03-04 14:05:30.000");
    EXPECT_TRUE(shortLine.time.has_value());
    EXPECT_EQ(shortLine.flag, 0);
    EXPECT_EQ(shortLine.length, 0u);
    const auto negative = SequentialLine::Parse("x,1,REVERSE,-5,-9,extra");
    EXPECT_FALSE(negative.time.has_value());
    EXPECT_EQ(negative.speed, 0u);
    EXPECT_EQ(negative.length, 0u);
    EXPECT_EQ(negative.description, "REVERSE");
}


}  // namespace
}  // namespace tallyx

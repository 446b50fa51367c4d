// Parsing and rebuilding bin lists, including text no caller should send.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <tallyx/tallyx.h>

#include "properties/bin_list.h"

namespace tallyx {
namespace {

std::vector<uint32_t> Parse(const std::string& text) {
    std::vector<uint32_t> numbers;
    uint32_t count = ParseBinList(text.c_str(), numbers);
    EXPECT_EQ(count, numbers.size());
    return numbers;
}

using Numbers = std::vector<uint32_t>;

TEST(ParseBinList, AnyNonDigitSeparates) {
    EXPECT_EQ(Parse("10, 20;30"), (Numbers{10, 20, 30}));
    EXPECT_EQ(Parse("1.5"), (Numbers{1, 5}));
    EXPECT_EQ(Parse("-7"), (Numbers{7}));
    EXPECT_EQ(Parse("  ,5,, "), (Numbers{5}));
    EXPECT_EQ(Parse("007 0"), (Numbers{7, 0}));
    EXPECT_EQ(Parse("1\xff" "2\x80\t3"), (Numbers{1, 2, 3}));
}

TEST(ParseBinList, NoDigitsGiveAnEmptyList) {
    EXPECT_EQ(Parse(""), Numbers{});
    EXPECT_EQ(Parse("abc ,;-"), Numbers{});
    std::vector<uint32_t> numbers{1, 2};
    EXPECT_EQ(ParseBinList(nullptr, numbers), 0u);
    EXPECT_TRUE(numbers.empty());
}

TEST(ParseBinList, ReplacesThePreviousContent) {
    std::vector<uint32_t> numbers{9, 9, 9};
    EXPECT_EQ(ParseBinList("4 5", numbers), 2u);
    EXPECT_EQ(numbers, (Numbers{4, 5}));
}

TEST(ParseBinList, DigitRunsBeyond32BitsSaturate) {
    EXPECT_EQ(Parse("2147483647"), (Numbers{2147483647u}));
    EXPECT_EQ(Parse("2147483648"), (Numbers{2147483647u}));
    EXPECT_EQ(Parse("99999999999999999999999999 3"), (Numbers{2147483647u, 3}));
    EXPECT_EQ(Parse(std::string(40, '0') + "12"), (Numbers{12}));
    EXPECT_EQ(Parse(std::string(200000, '9') + ",1"), (Numbers{2147483647u, 1}));
}

TEST(ParseBinList, LongListsGrowBeyondTheInitialRoom) {
    std::string text;
    for (uint32_t i = 0; i < 10000; ++i) text += std::to_string(i * 3) + ";";
    Numbers numbers = Parse(text);
    ASSERT_EQ(numbers.size(), 10000u);
    for (uint32_t i = 0; i < 10000; ++i) ASSERT_EQ(numbers[i], i * 3) << i;
    // Every other character a separator: the densest possible list.
    std::string dense(100001, ' ');
    for (size_t i = 0; i < dense.size(); i += 2) dense[i] = '1';
    EXPECT_EQ(Parse(dense).size(), 50001u);
}

TEST(CheckBinList, TellsEmptyIncreasingAndOutOfSequence) {
    EXPECT_EQ(CheckBinList(""), BinListOrder::Empty);
    EXPECT_EQ(CheckBinList("--"), BinListOrder::Empty);
    EXPECT_EQ(CheckBinList("0"), BinListOrder::Increasing);
    EXPECT_EQ(CheckBinList("1,2;30 400"), BinListOrder::Increasing);
    EXPECT_EQ(CheckBinList("5 5"), BinListOrder::OutOfSequence);
    EXPECT_EQ(CheckBinList("1 2 1 3"), BinListOrder::OutOfSequence);
    EXPECT_EQ(CheckBinList("1 99999999999 99999999999"), BinListOrder::OutOfSequence);
}

TEST(FormatBinList, SeparatesWithSingleSpaces) {
    char buffer[32];
    EXPECT_EQ(FormatBinList({1, 22, 333}, buffer, sizeof buffer), RETCODE_OK);
    EXPECT_STREQ(buffer, "1 22 333");
    EXPECT_EQ(FormatBinList({}, buffer, sizeof buffer), RETCODE_OK);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(FormatBinList({4294967295u, 0}, buffer, sizeof buffer), RETCODE_OK);
    EXPECT_STREQ(buffer, "4294967295 0");
}

TEST(FormatBinList, RefusesWhatDoesNotFitAndStaysInside) {
    // "1 22 333" needs nine bytes with its null.
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatBinList({1, 22, 333}, buffer, 9), RETCODE_OK);
    EXPECT_STREQ(buffer, "1 22 333");

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatBinList({1, 22, 333}, buffer, 8), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_STREQ(buffer, "1 22");
    EXPECT_EQ(buffer[8], '#');

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatBinList({1, 22, 333}, buffer, 4), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_STREQ(buffer, "1");  // no room for " 22" and its null
    EXPECT_EQ(FormatBinList({7}, buffer, 1), RETCODE_ERR_BUFFERTOOSMALL);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(FormatBinList({7}, buffer, 0), RETCODE_ERR_BUFFERTOOSMALL);
}

}  // namespace
}  // namespace tallyx

// Calendar arithmetic and the text forms of dates and times, as the reader,
// the loaders of read folders and the volume records use them.
#include <gtest/gtest.h>

#include "study/civil_time.h"

namespace tallyx::study {
namespace {

TEST(CivilTimeText, PatternLikeScanf) {
    auto time = ParseCivilTime("2013-07-30 10:05:09.042");
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(time->minute, 5u);
    EXPECT_EQ(time->millisecond, 42u);
    time = ParseCivilTime("2013-7-3  1:2:3");  // short fields and no milliseconds
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(time->day, 3u);
    EXPECT_EQ(time->second, 3u);
    EXPECT_EQ(time->millisecond, 0u);
    EXPECT_FALSE(ParseCivilTime("2013-07-30").has_value());
    EXPECT_FALSE(ParseCivilTime("2013/07/30 10:05:09.042").has_value());
    EXPECT_FALSE(ParseCivilTime("-2013-07-30 10:05:09.042").has_value());
    EXPECT_FALSE(ParseCivilTime("").has_value());
}

TEST(CivilTimeText, DaysFromCivilAgreesWithKnownDates) {
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1), 11017);
    EXPECT_EQ(DaysFromCivil(1601, 1, 1), -134774);
    EXPECT_EQ(DaysFromCivil(1969, 12, 31), -1);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1) - DaysFromCivil(2000, 2, 28), 2);  // 2000 is a leap year
    EXPECT_EQ(DaysFromCivil(1900, 3, 1) - DaysFromCivil(1900, 2, 28), 1);  // 1900 is not
}

TEST(CivilTimeText, TicksCountFromSixteenHundredOne) {
    auto ticks = [](uint32_t y, uint32_t mo, uint32_t d, uint32_t h, uint32_t mi, uint32_t s, uint32_t ms) {
        return CivilTimeToTicks(CivilTime{y, mo, d, h, mi, s, ms});
    };
    EXPECT_EQ(ticks(1601, 1, 1, 0, 0, 0, 0), 0);
    EXPECT_EQ(ticks(1601, 1, 1, 0, 0, 1, 0), 10000000);
    EXPECT_EQ(ticks(2013, 7, 30, 10, 5, 0, 0), 130196523000000000);
    EXPECT_EQ(ticks(2013, 7, 30, 10, 5, 0, 7), 130196523000070000);
    EXPECT_EQ(ticks(2000, 2, 29, 12, 0, 0, 0), 125962992000000000);
    EXPECT_EQ(ticks(9999, 12, 31, 23, 59, 59, 0), 2650467743990000000);
    EXPECT_EQ(*ticks(2013, 7, 30, 10, 15, 0, 0) - *ticks(2013, 7, 30, 10, 0, 0, 0), 15 * kTicksPerMinute);
    EXPECT_GT(*ticks(30827, 12, 31, 23, 59, 59, 999), *ticks(9999, 12, 31, 23, 59, 59, 0));
}

TEST(CivilTimeText, OnlyRealDatesHaveTicks) {
    auto valid = [](uint32_t y, uint32_t mo, uint32_t d, uint32_t h = 0, uint32_t mi = 0, uint32_t s = 0,
                    uint32_t ms = 0) { return CivilTimeToTicks(CivilTime{y, mo, d, h, mi, s, ms}).has_value(); };
    EXPECT_TRUE(valid(2000, 2, 29));
    EXPECT_FALSE(valid(1900, 2, 29));
    EXPECT_FALSE(valid(2013, 4, 31));
    EXPECT_FALSE(valid(2013, 0, 1));
    EXPECT_FALSE(valid(2013, 13, 1));
    EXPECT_FALSE(valid(2013, 1, 0));
    EXPECT_FALSE(valid(1600, 12, 31));
    EXPECT_FALSE(valid(30828, 1, 1));
    EXPECT_FALSE(valid(2013, 1, 1, 24));
    EXPECT_FALSE(valid(2013, 1, 1, 0, 60));
    EXPECT_FALSE(valid(2013, 1, 1, 0, 0, 60));
    EXPECT_FALSE(valid(2013, 1, 1, 0, 0, 0, 1000));
    EXPECT_FALSE(valid(4294967295u, 4294967295u, 4294967295u));
}

TEST(CivilTimeText, RecordTimeStampsParseOrAreRefused) {
    const struct {
        const char* text;
        TimeStampKind kind;
    } kCases[] = {
        {"2026-12-10 14:05:09.042", TimeStampKind::kValid},
        {"2026-12-10 14:05:09", TimeStampKind::kValid},
        {"2028-02-29 23:59:59.999", TimeStampKind::kValid},
        {"0-00-00 00:00:00.000", TimeStampKind::kNull},
        {"2027-02-29 10:00:00.000", TimeStampKind::kInvalid},
        {"2026-12-10 24:00:00.000", TimeStampKind::kInvalid},
        {"2026-12-10 14:05", TimeStampKind::kInvalid},
        {"2026-12-10 14:05:09.", TimeStampKind::kInvalid},
        {"2026-12-10 14:05:09.042x", TimeStampKind::kInvalid},
        {" 2026-12-10 14:05:09.042", TimeStampKind::kInvalid},
        {"99999999999-12-10 14:05:09.042", TimeStampKind::kInvalid},
        {"", TimeStampKind::kInvalid},
    };
    for (const auto& c : kCases) {
        CivilTime time;
        EXPECT_EQ(ParseTimeStamp(c.text, time), c.kind) << c.text;
    }
}

// Every day over four centuries goes to days and back, with its day of the
// week, and its time stamp reads back as the same milliseconds.
TEST(CivilTimeText, DaysAndTimeStampsRoundTrip) {
    const int64_t first = DaysFromCivil(1601, 1, 1), last = DaysFromCivil(2401, 1, 1);
    int weekday = DayOfWeek(1601, 1, 1);
    EXPECT_EQ(weekday, 2);  // a Monday
    for (int64_t days = first; days < last; ++days) {
        int year = 0, month = 0, day = 0;
        CivilFromDays(days, year, month, day);
        ASSERT_EQ(DaysFromCivil(year, month, day), days);
        ASSERT_EQ(DayOfWeek(year, month, day), weekday);
        weekday = weekday % 7 + 1;
        if (days % 97 == 0) {
            const int64_t ms = days * kMillisecondsPerDay + 13 * 3600000 + 4 * 60000 + 5 * 1000 + 7;
            const std::string text = FormatTimeStamp(ms);
            CivilTime parsed;
            ASSERT_EQ(ParseTimeStamp(text, parsed), TimeStampKind::kValid) << text;
            ASSERT_EQ(ToMilliseconds(parsed), ms) << text;
        }
    }
    EXPECT_EQ(FormatTimeStamp(kNoTime), "0-00-00 00:00:00.000");
    EXPECT_EQ(FormatMinute(ToMilliseconds({2026, 12, 10, 9, 5, 0, 0})), "2026-12-10 09:05");
    EXPECT_EQ(ParseStudyTime(" 2026-12-10 09:05 "), ToMilliseconds({2026, 12, 10, 9, 5, 0, 0}));
    EXPECT_FALSE(ParseStudyTime("2026-12-10").has_value());
}

}  // namespace
}  // namespace tallyx::study

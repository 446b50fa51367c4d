// DateTime: text forms, parsing, ordering, tick conversion and arithmetic.
// Expected values are computed by hand or are well-known calendar facts.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "time/date_time.h"

namespace {

using tallyx::DateTime;
using tallyx::DTF_12HOUR;
using tallyx::DTF_DATE;
using tallyx::DTF_DATE_DMY;
using tallyx::DTF_DATE_MDY;
using tallyx::DTF_NO_MS;
using tallyx::DTF_TIME;

std::string Text(const DateTime& value, uint32_t flags) {
    char buffer[DateTime::kFormatBufferSize];
    const uint32_t length = value.Format(flags, buffer);
    EXPECT_EQ(length, std::string(buffer).size());
    return buffer;
}

void ExpectFields(const DateTime& v, int year, int month, int day, int hour, int minute, int second, int ms) {
    EXPECT_EQ(v.Year, year);
    EXPECT_EQ(v.Month, month);
    EXPECT_EQ(v.Day, day);
    EXPECT_EQ(v.Hour, hour);
    EXPECT_EQ(v.Minute, minute);
    EXPECT_EQ(v.Second, second);
    EXPECT_EQ(v.Milliseconds, ms);
}

bool IsNullTime(const DateTime& v) { return v.IsNull() && v.DayOfWeek == 0; }

const DateTime kSample(2009, 3, 7, 14, 5, 9, 42);

// ------------------------------------------------------------------ text forms

TEST(DateTimeFormat, FlagCombinations) {
    EXPECT_EQ(Text(kSample, 0x0003), "2009-03-07 14:05:09.042");
    EXPECT_EQ(Text(kSample, 0x0203), "2009-03-07 14:05:09");
    EXPECT_EQ(Text(kSample, 0x0313), "03/07/2009 02:05:09 PM");
    EXPECT_EQ(Text(kSample, 0x0022), "07/03/2009");
    EXPECT_EQ(Text(kSample, 0x0001), "14:05:09.042");
    EXPECT_EQ(Text(kSample, DTF_DATE | DTF_DATE_MDY | DTF_DATE_DMY), "03/07/2009");  // MDY wins
    EXPECT_EQ(Text(kSample, DTF_TIME | DTF_12HOUR), "02:05:09.042 PM");
    EXPECT_EQ(Text(kSample, DTF_DATE_MDY | DTF_NO_MS | DTF_12HOUR), "");  // neither part selected
    EXPECT_EQ(Text(DateTime(), 0x0003), "0-00-00 00:00:00.000");
}

TEST(DateTimeFormat, TwelveHourClock) {
    const uint32_t flags = DTF_TIME | DTF_12HOUR | DTF_NO_MS;
    EXPECT_EQ(Text(DateTime(2009, 3, 7, 0, 1, 2, 0), flags), "12:01:02 AM");
    EXPECT_EQ(Text(DateTime(2009, 3, 7, 11, 1, 2, 0), flags), "11:01:02 AM");
    EXPECT_EQ(Text(DateTime(2009, 3, 7, 12, 1, 2, 0), flags), "12:01:02 PM");
    EXPECT_EQ(Text(DateTime(2009, 3, 7, 13, 1, 2, 0), flags), "01:01:02 PM");
    EXPECT_EQ(Text(DateTime(2009, 3, 7, 23, 1, 2, 0), flags), "11:01:02 PM");
}

TEST(DateTimeFormat, LongestTextFitsAndSmallBuffersAreCut) {
    DateTime huge;
    huge.Year = huge.Month = huge.Day = huge.Hour = huge.Minute = huge.Second = huge.Milliseconds = 65535;
    const std::string longest = Text(huge, DTF_DATE | DTF_TIME | DTF_DATE_MDY | DTF_12HOUR);
    EXPECT_EQ(longest, "65535/65535/65535 65523:65535:65535.65535 PM");
    EXPECT_LT(longest.size(), DateTime::kFormatBufferSize);

    char small[8] = "xxxxxxx";
    EXPECT_EQ(kSample.Format(0x0003, small, 5), 4u);
    EXPECT_STREQ(small, "2009");
    EXPECT_EQ(small[5], 'x');
    EXPECT_EQ(kSample.Format(0x0003, small, 0), 0u);
    EXPECT_EQ(small[0], '2');
    EXPECT_EQ(kSample.Format(0x0003, nullptr, 10), 0u);
}

TEST(DateTimeFormat, SharedBufferIsReusedAndPerThread) {
    const char* first = kSample.FormatShared(0x0203);
    EXPECT_STREQ(first, "2009-03-07 14:05:09");
    const char* second = DateTime().FormatShared(0x0002);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "0-00-00");

    const char* other = nullptr;
    std::thread([&] { other = kSample.FormatShared(0x0001); }).join();
    EXPECT_NE(other, first);
    EXPECT_STREQ(first, "0-00-00");
}

// ------------------------------------------------------------------ parsing

TEST(DateTimeParse, AcceptedForms) {
    DateTime v;
    ASSERT_TRUE(DateTime::Parse(v, "2009-03-07 14:05:09"));
    ExpectFields(v, 2009, 3, 7, 14, 5, 9, 0);
    EXPECT_EQ(v.DayOfWeek, 6);  // a Saturday

    ASSERT_TRUE(DateTime::Parse(v, "2009-03-07 14:05:09.5"));
    EXPECT_EQ(v.Milliseconds, 5);  // a count, not a fraction
    ASSERT_TRUE(DateTime::Parse(v, "2009-03-07 14:05:09.500"));
    EXPECT_EQ(v.Milliseconds, 500);

    ASSERT_TRUE(DateTime::Parse(v, "  2009-3-7\t\t14: 5: 9 and anything after"));
    ExpectFields(v, 2009, 3, 7, 14, 5, 9, 0);
    ASSERT_TRUE(DateTime::Parse(v, "0002009-003-007 0014:0005:0009.0042"));
    ExpectFields(v, 2009, 3, 7, 14, 5, 9, 42);
    ASSERT_TRUE(DateTime::Parse(v, "2009-03-07\n14:05:09"));
    ExpectFields(v, 2009, 3, 7, 14, 5, 9, 0);
}

TEST(DateTimeParse, RejectedFormsLeaveTheNullTime) {
    const char* const texts[] = {
        "2009-03-07",                       // no time
        "07/03/2009 14:05:09",              // other order
        "2009-03-07 14:05",                 // no seconds
        "2009-03-07 14:05:09.",             // the point asks for milliseconds
        "2009-03-07 14:05:09 version 1.2",  // a point anywhere selects the longer pattern
        "2009-03-07T14:05:09",
        "2009-03-0714:05:09",               // the day swallows the hour's digits
        "",
        "   ",
        "-",
        "2009-03-07 14:05:+",
    };
    for (const char* text : texts) {
        DateTime v = kSample;
        EXPECT_FALSE(DateTime::Parse(v, text)) << text;
        EXPECT_TRUE(IsNullTime(v)) << text;
    }
    DateTime v = kSample;
    EXPECT_FALSE(DateTime::Parse(v, nullptr));
    EXPECT_TRUE(IsNullTime(v));
}

TEST(DateTimeParse, NumbersFollowUnsignedScanRulesAndAreCutTo16Bits) {
    DateTime v;
    // Out-of-range fields are stored, not rejected; the tick conversion refuses them later.
    ASSERT_TRUE(DateTime::Parse(v, "2009-13-32 24:60:60.1000"));
    ExpectFields(v, 2009, 13, 32, 24, 60, 60, 1000);
    int64_t ticks = 0;
    EXPECT_FALSE(v.ToTicks(ticks));

    ASSERT_TRUE(DateTime::Parse(v, "2009--3-+7 14:05:09"));
    EXPECT_EQ(v.Month, 65533);  // minus three in unsigned arithmetic
    EXPECT_EQ(v.Day, 7);
    ASSERT_TRUE(DateTime::Parse(v, "67545-03-07 14:05:09"));
    EXPECT_EQ(v.Year, 2009);  // 67545 = 65536 + 2009
    ASSERT_TRUE(DateTime::Parse(v, "99999999999999999999999-03-07 14:05:09"));
    EXPECT_EQ(v.Year, 65535);
}

// ------------------------------------------------------------------ construction and ordering

TEST(DateTimeConstruct, DayOfWeekFromTheCalendarFieldsUntouched) {
    EXPECT_EQ(DateTime(2009, 3, 7, 0, 0, 0, 0).DayOfWeek, 6);
    EXPECT_EQ(DateTime(2008, 2, 29, 12, 0, 0, 0).DayOfWeek, 5);
    EXPECT_EQ(DateTime(2000, 1, 1, 0, 0, 0, 0).DayOfWeek, 6);
    EXPECT_EQ(DateTime(1950, 6, 15, 0, 0, 0, 0).DayOfWeek, 4);

    const DateTime carried(2008, 13, 1, 10, 0, 0, 0);  // counts as 2009-01-01, a Thursday
    ExpectFields(carried, 2008, 13, 1, 10, 0, 0, 0);
    EXPECT_EQ(carried.DayOfWeek, 4);

    const DateTime cut(65536 + 2009, 65536 + 3, 7, 65536 + 14, 5, 9, 65536 + 42);
    ExpectFields(cut, 2009, 3, 7, 14, 5, 9, 42);
    EXPECT_TRUE(IsNullTime(DateTime(0, 0, 0, 0, 0, 0, 0)));
    EXPECT_TRUE(IsNullTime(DateTime(65536, 0, 0, 0, 0, 0, 0)));
}

TEST(DateTimeConstruct, DayOfWeekAgreesWithTheLocalCalendarOverFourCenturies) {
    // Every 13th day from 1700 to 2100, at a time of day that no clock change skips.
    for (int64_t day = -98000; day < 47000; day += 13) {
        const std::time_t noon = static_cast<std::time_t>(day) * 86400 + 12 * 3600;
        std::tm utc{};
        gmtime_r(&noon, &utc);
        const DateTime value(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, 12, 0, 0, 0);
        std::tm fields{};
        fields.tm_year = utc.tm_year;
        fields.tm_mon = utc.tm_mon;
        fields.tm_mday = utc.tm_mday;
        fields.tm_hour = 12;
        fields.tm_isdst = -1;
        ASSERT_NE(std::mktime(&fields), static_cast<std::time_t>(-1));
        ASSERT_EQ(value.DayOfWeek, fields.tm_wday) << utc.tm_year + 1900 << "-" << utc.tm_mon + 1 << "-" << utc.tm_mday;
    }
}

TEST(DateTimeConstruct, SecondBeforeTheEpochIsNotAFailure) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    setenv("TZ", "UTC0", 1);
    tzset();
    const DateTime v(1969, 12, 31, 23, 59, 59, 0);  // mktime gives -1 here, a valid time
    if (saved) setenv("TZ", previous.c_str(), 1); else unsetenv("TZ");
    tzset();
    EXPECT_EQ(v.DayOfWeek, 3);  // a Wednesday
}

TEST(DateTimeCompare, FieldByFieldIgnoringDayOfWeek) {
    const DateTime a(2009, 3, 7, 14, 5, 9, 42);
    DateTime b = a;
    b.DayOfWeek = 2;
    EXPECT_EQ(DateTime::Compare(a, b), 0);

    b.Milliseconds = 43;
    EXPECT_EQ(DateTime::Compare(a, b), -1);
    EXPECT_EQ(DateTime::Compare(b, a), 1);

    EXPECT_EQ(DateTime::Compare(DateTime(2009, 3, 7, 23, 59, 59, 999), DateTime(2009, 3, 8, 0, 0, 0, 0)), -1);
    EXPECT_EQ(DateTime::Compare(DateTime(2010, 1, 1, 0, 0, 0, 0), DateTime(2009, 12, 31, 23, 59, 59, 999)), 1);
    EXPECT_EQ(DateTime::Compare(DateTime(2009, 13, 1, 0, 0, 0, 0), DateTime(2009, 12, 31, 0, 0, 0, 0)), 1);
    EXPECT_EQ(DateTime::Compare(DateTime(), DateTime(1601, 1, 1, 0, 0, 0, 0)), -1);
    EXPECT_EQ(DateTime::Compare(DateTime(), DateTime()), 0);
}

// ------------------------------------------------------------------ tick conversion

TEST(DateTimeTicks, KnownTickCounts) {
    int64_t ticks = -1;
    ASSERT_TRUE(DateTime(1601, 1, 1, 0, 0, 0, 0).ToTicks(ticks));
    EXPECT_EQ(ticks, 0);
    ASSERT_TRUE(DateTime(1970, 1, 1, 0, 0, 0, 0).ToTicks(ticks));
    EXPECT_EQ(ticks, 116444736000000000);  // 11644473600 s between the two epochs
    ASSERT_TRUE(DateTime(2000, 1, 1, 0, 0, 0, 1).ToTicks(ticks));
    EXPECT_EQ(ticks, 125911584000000000 + 10000);
    ASSERT_TRUE(DateTime(30827, 12, 31, 23, 59, 59, 999).ToTicks(ticks));

    DateTime v;
    ASSERT_TRUE(DateTime::FromTicks(0, v));
    ExpectFields(v, 1601, 1, 1, 0, 0, 0, 0);
    EXPECT_EQ(v.DayOfWeek, 1);  // a Monday
    ASSERT_TRUE(DateTime::FromTicks(INT64_MAX, v));
    ExpectFields(v, 30828, 9, 14, 2, 48, 5, 477);
    EXPECT_FALSE(DateTime::FromTicks(-1, v));
}

TEST(DateTimeTicks, InvalidFieldsAreRejected) {
    const DateTime invalid[] = {
        DateTime(),                             // the null time
        DateTime(1600, 12, 31, 23, 59, 59, 999), DateTime(30828, 1, 1, 0, 0, 0, 0),
        DateTime(2009, 0, 1, 0, 0, 0, 0),       DateTime(2009, 13, 1, 0, 0, 0, 0),
        DateTime(2009, 1, 0, 0, 0, 0, 0),       DateTime(2009, 1, 32, 0, 0, 0, 0),
        DateTime(2009, 2, 29, 0, 0, 0, 0),      DateTime(1900, 2, 29, 0, 0, 0, 0),
        DateTime(2009, 4, 31, 0, 0, 0, 0),      DateTime(2009, 3, 7, 24, 0, 0, 0),
        DateTime(2009, 3, 7, 0, 60, 0, 0),      DateTime(2009, 3, 7, 0, 0, 60, 0),
        DateTime(2009, 3, 7, 0, 0, 0, 1000),
    };
    for (const DateTime& v : invalid) {
        int64_t ticks = 0;
        EXPECT_FALSE(v.ToTicks(ticks)) << v.FormatShared(0x0003);
    }
    int64_t ticks = 0;
    EXPECT_TRUE(DateTime(2000, 2, 29, 0, 0, 0, 0).ToTicks(ticks));
    EXPECT_TRUE(DateTime(2008, 2, 29, 0, 0, 0, 0).ToTicks(ticks));
    EXPECT_TRUE(DateTime(2009, 4, 30, 23, 59, 59, 999).ToTicks(ticks));
}

TEST(DateTimeTicks, AgreesWithTheSystemCalendarDayByDay) {
    // Every 7th day from 1900 to 2400, against the C library's UTC conversion.
    const int64_t kEpochOffsetSeconds = 11644473600;
    for (int64_t day = -25567; day < 157054; day += 7) {
        const std::time_t seconds = static_cast<std::time_t>(day * 86400 + 3723);
        std::tm utc{};
        ASSERT_NE(gmtime_r(&seconds, &utc), nullptr);
        const DateTime v(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, 1, 2, 3, 0);
        int64_t ticks = 0;
        ASSERT_TRUE(v.ToTicks(ticks)) << day;
        ASSERT_EQ(ticks, (seconds + kEpochOffsetSeconds) * 10000000) << day;

        DateTime back;
        ASSERT_TRUE(DateTime::FromTicks(ticks, back));
        ASSERT_EQ(DateTime::Compare(back, v), 0) << day;
        ASSERT_EQ(back.DayOfWeek, utc.tm_wday) << day;
    }
}

// ------------------------------------------------------------------ arithmetic

TEST(DateTimeAddTime, RollsOverDaysMonthsAndYears) {
    DateTime v(2009, 3, 1, 0, 0, 0, 0);
    v.AddTime(0, 0, 0, 0, -1);
    ExpectFields(v, 2009, 2, 28, 23, 59, 59, 999);
    EXPECT_EQ(v.DayOfWeek, 6);

    v = DateTime(2008, 2, 28, 10, 0, 0, 0);
    ExpectFields(v.AddTime(1, 0, 0, 0, 0), 2008, 2, 29, 10, 0, 0, 0);
    ExpectFields(v.AddTime(1, 0, 0, 0, 0), 2008, 3, 1, 10, 0, 0, 0);

    v = DateTime(2009, 1, 31, 12, 0, 0, 0);
    ExpectFields(v.AddTime(1, 0, 0, 0, 0), 2009, 2, 1, 12, 0, 0, 0);

    v = DateTime(2009, 12, 31, 23, 59, 59, 999);
    v.AddTime(0, 0, 0, 0, 1);
    ExpectFields(v, 2010, 1, 1, 0, 0, 0, 0);
    EXPECT_EQ(v.DayOfWeek, 5);  // a Friday

    v = DateTime(2009, 3, 8, 1, 0, 0, 0);
    ExpectFields(v.AddTime(0, -2, 0, 0, 0), 2009, 3, 7, 23, 0, 0, 0);
    ExpectFields(v.AddTime(0, 0, 90, -30, 0), 2009, 3, 8, 0, 29, 30, 0);

    v = kSample;
    v.AddTime(146097, 0, 0, 0, 0);  // one full 400-year cycle keeps date and weekday
    ExpectFields(v, 2409, 3, 7, 14, 5, 9, 42);
    EXPECT_EQ(v.DayOfWeek, 6);
}

TEST(DateTimeAddTime, UnconvertibleValuesAndResultsLeaveTheValueAlone) {
    DateTime v;
    v.AddTime(1, 0, 0, 0, 0);
    EXPECT_TRUE(IsNullTime(v));

    v = DateTime(2009, 13, 1, 0, 0, 0, 0);
    v.DayOfWeek = 3;
    v.AddTime(0, 0, 0, 1, 0);
    ExpectFields(v, 2009, 13, 1, 0, 0, 0, 0);
    EXPECT_EQ(v.DayOfWeek, 3);

    v = DateTime(1601, 1, 1, 0, 0, 0, 0);
    v.AddTime(0, 0, 0, 0, -1);  // before the start of the tick scale
    ExpectFields(v, 1601, 1, 1, 0, 0, 0, 0);

    v = kSample;
    v.AddTime(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX);  // beyond 64 bits
    ExpectFields(v, 2009, 3, 7, 14, 5, 9, 42);
    v.AddTime(INT32_MIN, 0, 0, 0, 0);
    ExpectFields(v, 2009, 3, 7, 14, 5, 9, 42);
}

TEST(DateTimeDiffSeconds, TruncatesTowardZeroAcrossYears) {
    const DateTime start(2009, 3, 7, 0, 0, 0, 0);
    const DateTime later(2009, 3, 7, 0, 0, 1, 999);
    EXPECT_EQ(DateTime::DiffSeconds(later, start), 1);
    EXPECT_EQ(DateTime::DiffSeconds(start, later), -1);
    EXPECT_EQ(DateTime::DiffSeconds(DateTime(2009, 3, 7, 0, 0, 0, 500), start), 0);

    EXPECT_EQ(DateTime::DiffSeconds(DateTime(2009, 1, 1, 0, 0, 0, 0), DateTime(2008, 12, 31, 23, 59, 59, 0)), 1);
    EXPECT_EQ(DateTime::DiffSeconds(DateTime(2009, 1, 1, 0, 0, 0, 0), DateTime(2008, 1, 1, 0, 0, 0, 0)), 366 * 86400);
    EXPECT_EQ(DateTime::DiffSeconds(DateTime(2010, 1, 1, 0, 0, 0, 0), DateTime(2009, 1, 1, 0, 0, 0, 0)), 365 * 86400);
    EXPECT_EQ(DateTime::DiffSeconds(DateTime(1900, 3, 1, 0, 0, 0, 0), DateTime(1900, 2, 28, 0, 0, 0, 0)), 86400);
    EXPECT_EQ(DateTime::DiffSeconds(DateTime(2000, 3, 1, 0, 0, 0, 0), DateTime(2000, 2, 28, 0, 0, 0, 0)), 2 * 86400);
}

TEST(DateTimeDiffSeconds, UnconvertibleGivesZeroAndHugeDifferencesClamp) {
    EXPECT_EQ(DateTime::DiffSeconds(DateTime(), kSample), 0);
    EXPECT_EQ(DateTime::DiffSeconds(kSample, DateTime()), 0);
    EXPECT_EQ(DateTime::DiffSeconds(kSample, DateTime(2009, 2, 29, 0, 0, 0, 0)), 0);

    // 408 years do not fit into 32 bits of seconds.
    const DateTime old(1601, 1, 1, 0, 0, 0, 0);
    EXPECT_EQ(DateTime::DiffSeconds(kSample, old), INT32_MAX);
    EXPECT_EQ(DateTime::DiffSeconds(old, kSample), INT32_MIN);
}

// ------------------------------------------------------------------ current time

TEST(DateTimeNow, MatchesTheSystemClock) {
    const std::time_t before = std::time(nullptr);
    const DateTime now = DateTime::Now();
    const std::time_t after = std::time(nullptr);

    int64_t ticks = 0;
    ASSERT_TRUE(now.ToTicks(ticks));
    EXPECT_LT(now.Milliseconds, 1000);
    EXPECT_EQ(now.DayOfWeek, DateTime(now.Year, now.Month, now.Day, 12, 0, 0, 0).DayOfWeek);

    // Local wall-clock time of the two bounds, to the second.
    std::tm low{};
    std::tm high{};
    localtime_r(&before, &low);
    localtime_r(&after, &high);
    const DateTime lowValue(low.tm_year + 1900, low.tm_mon + 1, low.tm_mday, low.tm_hour, low.tm_min, low.tm_sec, 0);
    const DateTime highValue(high.tm_year + 1900, high.tm_mon + 1, high.tm_mday, high.tm_hour, high.tm_min,
                             high.tm_sec, 999);
    EXPECT_LE(DateTime::Compare(lowValue, now), 0);
    EXPECT_LE(DateTime::Compare(now, highValue), 0);
}

}  // namespace

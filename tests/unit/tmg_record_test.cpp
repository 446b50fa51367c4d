// The calendar behind the hourly volume records: dates, days of the week and
// the time stamps of a read, over centuries and their leap-year rules.
#include <chrono>

#include <gtest/gtest.h>

#include "cli/tmg_record.h"
#include "cli/tmg_volumes.h"

namespace tallyx::cli {
namespace {

TEST(TmgCalendar, DaysDatesAndWeekdaysAgreeWithTheStandardCalendar) {
    // 1600-03-01 to about 2700, in steps that reach every day of the week and month.
    for (int64_t days = -135080; days < 267000; days += 13) {
        int year = 0, month = 0, day = 0;
        CivilFromDays(days, year, month, day);
        const std::chrono::year_month_day expected{std::chrono::sys_days{std::chrono::days{days}}};
        ASSERT_EQ(year, static_cast<int>(expected.year())) << days;
        ASSERT_EQ(month, static_cast<int>(static_cast<unsigned>(expected.month()))) << days;
        ASSERT_EQ(day, static_cast<int>(static_cast<unsigned>(expected.day()))) << days;
        ASSERT_EQ(DaysFromCivil(year, month, day), days);
        ASSERT_EQ(DayOfWeek(year, month, day),
                  static_cast<int>(std::chrono::weekday{std::chrono::sys_days{std::chrono::days{days}}}.c_encoding()) + 1);
    }
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2100, 2), 28);
}

TEST(TmgCalendar, TimeStampsOfAReadParseOrAreRefused) {
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
        {"99999999999-12-10 14:05:09.042", TimeStampKind::kInvalid},
        {"", TimeStampKind::kInvalid},
    };
    for (const auto& c : kCases) {
        CivilTime time;
        EXPECT_EQ(ParseTimeStamp(c.text, time), c.kind) << c.text;
    }
}

}  // namespace
}  // namespace tallyx::cli

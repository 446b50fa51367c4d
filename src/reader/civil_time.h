#pragma once
// Date and time texts of the form YYYY-MM-DD hh:mm:ss.fff and their conversion
// to 64-bit counts of 100-nanosecond ticks since 1601-01-01 (proleptic Gregorian).
#include <cstdint>
#include <optional>
#include <string_view>

namespace tallyx {

struct CivilTime {
    uint32_t year = 0;
    uint32_t month = 0;
    uint32_t day = 0;
    uint32_t hour = 0;
    uint32_t minute = 0;
    uint32_t second = 0;
    uint32_t millisecond = 0;
};

constexpr int64_t kTicksPerMinute = 600000000;

// Reads "year-month-day hour:minute:second.millisecond" of unsigned decimal
// numbers (white space allowed before each number, like "%u"). The milliseconds
// may be missing and then read as 0; anything else missing fails.
std::optional<CivilTime> ParseCivilTime(std::string_view text);

// True for a date and time that exists: year 1601 to 30827, a real day of the
// month, hour < 24, minute < 60, second < 60, milliseconds < 1000.
bool IsValidCivilTime(const CivilTime& time);

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);

// The tick count of a valid date and time; nothing for an invalid one.
std::optional<int64_t> CivilTimeToTicks(const CivilTime& time);

}  // namespace tallyx

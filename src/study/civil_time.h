#pragma once
// Dates and times of the counter's local clock as plain calendar fields, the
// calendar arithmetic on them, and their text forms "2026-12-10 14:05:09.042".
// One helper for every program that reads or writes a study's files.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "time/civil_days.h"

namespace tallyx::study {

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
constexpr int64_t kMillisecondsPerDay = 86400000;
// A time stamp that holds no time: the null time "0-00-00 00:00:00.000" of a
// record the counter could not place.
constexpr int64_t kNoTime = INT64_MIN;

// a / b rounded towards minus infinity (b > 0), as calendar arithmetic needs
// for times before 1970.
constexpr int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

using tallyx::DaysFromCivil;
using tallyx::DaysInMonth;
using tallyx::IsLeapYear;
// The date of a day counted from 1970-01-01, as plain fields.
void CivilFromDays(int64_t days, int& year, int& month, int& day);
// 1 Sunday ... 7 Saturday.
int DayOfWeek(int64_t year, int month, int day);

// True for a date and time that exists: year 1601 to 30827, a real day of the
// month, hour < 24, minute < 60, second < 60, milliseconds < 1000.
bool IsValidCivilTime(const CivilTime& time);

// Reads "year-month-day hour:minute:second.millisecond" of unsigned decimal
// numbers the way "%u" does (white space allowed before each number, a blank
// in the pattern matches any white space or none). The milliseconds may be
// missing and then read as 0; anything else missing fails.
std::optional<CivilTime> ParseCivilTime(std::string_view text);

// The 64-bit count of 100-nanosecond ticks since 1601-01-01 of a valid time.
std::optional<int64_t> CivilTimeToTicks(const CivilTime& time);

enum class TimeStampKind { kValid, kNull, kInvalid };

// A time stamp exactly as the records of a read carry it: digits only,
// "2026-12-10 14:05:09.042" (the milliseconds may be left out, a number may
// have fewer digits). kNull for the null time, every field 0.
TimeStampKind ParseTimeStamp(std::string_view text, CivilTime& out);

// Milliseconds since 1970-01-01 00:00 of the same clock, and back.
int64_t ToMilliseconds(const CivilTime& time);
CivilTime FromMilliseconds(int64_t milliseconds);

// A time stamp in the records' form; kNoTime gives the null time. The year is
// written without leading zeros, as the records carry it.
std::string FormatTimeStamp(int64_t milliseconds);
// Appends the same text to out, without allocating for it.
void AppendTimeStamp(int64_t milliseconds, std::string& out);
// "2026-12-10 14:05" and "2026-12-10" (four-digit years).
std::string FormatMinute(int64_t milliseconds);
std::string FormatDay(int64_t milliseconds);

// A study time as study files and options give it, "YYYY-MM-DD hh:mm",
// "YYYY-MM-DD hh:mm:ss" or "YYYY-MM-DD hh:mm:ss.mmm", into milliseconds.
std::optional<int64_t> ParseStudyTime(std::string_view text);
// True for a day of the calendar written "YYYY-MM-DD".
bool IsDayText(std::string_view text);

}  // namespace tallyx::study

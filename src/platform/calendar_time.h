#pragma once
// Local calendar time as the log and its file names need it, and the clock that supplies it.
#include <cstdint>
#include <functional>

namespace tallyx {

// Broken-down local time; fields in the usual Windows order (day of week 0 = Sunday).
struct CalendarTime {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t dayOfWeek = 0;
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;
};

// Anything that can tell "now" as local calendar time; lets tests move the date.
using CalendarClock = std::function<CalendarTime()>;

// The current local time, to the millisecond.
CalendarTime LocalCalendarTimeNow();

// A moment given as seconds and nanoseconds since 1970-01-01 UTC, in local time.
CalendarTime LocalCalendarTimeAt(int64_t seconds, int64_t nanoseconds);

// The day of the week (0 = Sunday) the local calendar gives a date and time; out-of-range
// fields carry over into the next unit for this calculation. False when the local calendar
// cannot place it.
bool LocalDayOfWeek(int year, int month, int day, int hour, int minute, int second, uint16_t* dayOfWeek);

}  // namespace tallyx

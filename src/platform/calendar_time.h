#pragma once
// Local calendar time as the log and its file names need it, and the clock that supplies it.
#include <cstdint>
#include <ctime>
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

// A moment given as seconds and nanoseconds since the epoch, in local time.
CalendarTime LocalCalendarTimeAt(int64_t seconds, int64_t nanoseconds);

}  // namespace tallyx

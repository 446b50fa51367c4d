#pragma once
// A fixed calendar time for tests that stamp log lines with a clock of their own.
#include <cstdint>

#include "platform/calendar_time.h"

namespace tallyx::test {

inline CalendarTime CalendarTimeOf(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute = 0,
                                   uint16_t second = 0, uint16_t milliseconds = 0, uint16_t dayOfWeek = 0) {
    CalendarTime t;
    t.year = year;
    t.month = month;
    t.dayOfWeek = dayOfWeek;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.milliseconds = milliseconds;
    return t;
}

}  // namespace tallyx::test

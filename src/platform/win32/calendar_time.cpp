#include "platform/calendar_time.h"

#include <windows.h>

#include <ctime>

namespace tallyx {

namespace {

CalendarTime FromSystemTime(const SYSTEMTIME& time) {
    CalendarTime result;
    result.year = time.wYear;
    result.month = time.wMonth;
    result.dayOfWeek = time.wDayOfWeek;
    result.day = time.wDay;
    result.hour = time.wHour;
    result.minute = time.wMinute;
    result.second = time.wSecond;
    result.milliseconds = time.wMilliseconds;
    return result;
}

}  // namespace

CalendarTime LocalCalendarTimeNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return FromSystemTime(now);
}

CalendarTime LocalCalendarTimeAt(int64_t seconds, int64_t nanoseconds) {
    // Seconds since 1970 on the 100-nanosecond scale of 1601, then into the local zone with
    // the daylight saving rule of that date.
    const int64_t ticks = seconds * 10000000 + 116444736000000000LL;
    if (ticks < 0) return CalendarTime{};
    FILETIME utc{};
    utc.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks));
    utc.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return CalendarTime{};
    }
    CalendarTime result = FromSystemTime(local);
    result.milliseconds = 0;
    if (nanoseconds >= 0 && nanoseconds < 1000000000) {
        result.milliseconds = static_cast<uint16_t>(nanoseconds / 1000000);
    }
    return result;
}

bool LocalDayOfWeek(int year, int month, int day, int hour, int minute, int second, uint16_t* dayOfWeek) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    fields.tm_wday = -1;
    const std::time_t when = std::mktime(&fields);
    if (when == static_cast<std::time_t>(-1) && fields.tm_wday == -1) return false;
    // The C library of this system keeps localtime's result per thread.
    const std::tm* local = std::localtime(&when);
    if (local == nullptr) return false;
    *dayOfWeek = static_cast<uint16_t>(local->tm_wday);
    return true;
}

}  // namespace tallyx

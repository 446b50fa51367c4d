#include "platform/calendar_time.h"

#include <windows.h>

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

}  // namespace tallyx

#include "platform/calendar_time.h"

#include <ctime>

namespace tallyx {

CalendarTime LocalCalendarTimeAt(int64_t seconds, int64_t nanoseconds) {
    CalendarTime result;
    const time_t whole = static_cast<time_t>(seconds);
    struct tm local {};
    if (localtime_r(&whole, &local) == nullptr) {
        return result;
    }
    result.year = static_cast<uint16_t>(local.tm_year + 1900);
    result.month = static_cast<uint16_t>(local.tm_mon + 1);
    result.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
    result.day = static_cast<uint16_t>(local.tm_mday);
    result.hour = static_cast<uint16_t>(local.tm_hour);
    result.minute = static_cast<uint16_t>(local.tm_min);
    // A leap second shows as second 60 in some zones; keep the value inside a valid time.
    result.second = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
    if (nanoseconds >= 0 && nanoseconds < 1000000000) {
        result.milliseconds = static_cast<uint16_t>(nanoseconds / 1000000);
    }
    return result;
}

CalendarTime LocalCalendarTimeNow() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return LocalCalendarTimeAt(now.tv_sec, now.tv_nsec);
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
    // mktime ignores tm_wday on input and sets it only on success, so it
    // tells a failure apart from a date one second before the epoch.
    fields.tm_wday = -1;
    const std::time_t when = std::mktime(&fields);
    if (when == static_cast<std::time_t>(-1) && fields.tm_wday == -1) return false;
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) return false;
    *dayOfWeek = static_cast<uint16_t>(local.tm_wday);
    return true;
}

}  // namespace tallyx

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

}  // namespace tallyx

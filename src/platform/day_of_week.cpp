#include <ctime>

#include "platform/calendar_time.h"

namespace tallyx {

bool LocalDayOfWeek(int year, int month, int day, int hour, int minute, int second, uint16_t* dayOfWeek) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    // mktime ignores tm_wday on input and sets it only on success, so it tells a failure apart
    // from a date one second before the epoch; on success the fields hold the local time it
    // stands for, its day of the week included.
    fields.tm_wday = -1;
    const std::time_t when = std::mktime(&fields);
    if (when == static_cast<std::time_t>(-1) && fields.tm_wday == -1) return false;
    if (fields.tm_wday < 0 || fields.tm_wday > 6) return false;
    *dayOfWeek = static_cast<uint16_t>(fields.tm_wday);
    return true;
}

}  // namespace tallyx

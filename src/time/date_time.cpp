#include "time/date_time.h"

#include "platform/calendar_time.h"
#include "time/civil_days.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <limits>

namespace tallyx {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr uint32_t kFirstYear = 1601;
constexpr uint32_t kLastYear = 30827;

// The tick scale starts on 1601-01-01, a Monday.
constexpr int64_t kEpochDays = DaysFromCivil(1601, 1, 1);
static_assert(kEpochDays == -134774);
static_assert(CivilFromDays(kEpochDays).year == 1601);

// Reads text the way scanf reads it with a format made of %u conversions,
// literal characters and blanks.
class ScanfReader {
public:
    explicit ScanfReader(const char* text) : p_(text) {}

    // %u: blanks, an optional sign, then one or more digits. A minus sign
    // negates in unsigned arithmetic; a number too large for 32 bits reads as
    // the largest 32-bit value.
    bool Unsigned(uint32_t& value) {
        SkipBlanks();
        bool negative = false;
        if (*p_ == '+' || *p_ == '-') {
            negative = *p_ == '-';
            ++p_;
        }
        if (!IsDigit(*p_)) return false;
        uint64_t number = 0;
        bool overflow = false;
        for (; IsDigit(*p_); ++p_) {
            number = number * 10 + static_cast<uint64_t>(*p_ - '0');
            if (number > UINT32_MAX) {
                overflow = true;
                number = UINT32_MAX;  // keep accumulating from a bounded value
            }
        }
        if (overflow) {
            value = UINT32_MAX;
        } else {
            value = static_cast<uint32_t>(number);
            if (negative) value = 0u - value;
        }
        return true;
    }

    // An ordinary character of the format must match the next input character.
    bool Literal(char c) {
        if (*p_ != c) return false;
        ++p_;
        return true;
    }

    // A blank in the format matches any run of blanks, including none.
    void SkipBlanks() {
        while (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\v' || *p_ == '\f' || *p_ == '\r') ++p_;
    }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    const char* p_;
};

}  // namespace

DateTime::DateTime(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute, uint32_t second,
                   uint32_t milliseconds)
    : Year(static_cast<uint16_t>(year)),
      Month(static_cast<uint16_t>(month)),
      DayOfWeek(0),
      Day(static_cast<uint16_t>(day)),
      Hour(static_cast<uint16_t>(hour)),
      Minute(static_cast<uint16_t>(minute)),
      Second(static_cast<uint16_t>(second)),
      Milliseconds(static_cast<uint16_t>(milliseconds)) {
    if (IsNull()) return;

    // A real calendar date and time has the weekday of its day whatever the
    // time zone: it is counted from the days since 1970-01-01, a Thursday.
    if (Year >= 1 && Month >= 1 && Month <= 12 && Day >= 1 && Day <= DaysInMonth(Year, Month) && Hour < 24 &&
        Minute < 60 && Second < 60) {
        const int64_t days = DaysFromCivil(Year, Month, Day);
        DayOfWeek = static_cast<uint16_t>(((days + 4) % 7 + 7) % 7);
        return;
    }

    // Otherwise the local calendar places it; out-of-range fields carry over
    // into the next unit for this calculation only, the stored fields stay as
    // given.
    uint16_t dayOfWeek = 0;
    if (LocalDayOfWeek(Year, Month, Day, Hour, Minute, Second, &dayOfWeek)) DayOfWeek = dayOfWeek;
}

bool DateTime::IsNull() const {
    return Year == 0 && Month == 0 && Day == 0 && Hour == 0 && Minute == 0 && Second == 0 && Milliseconds == 0;
}

int32_t DateTime::Compare(const DateTime& a, const DateTime& b) {
    const uint16_t left[7] = {a.Year, a.Month, a.Day, a.Hour, a.Minute, a.Second, a.Milliseconds};
    const uint16_t right[7] = {b.Year, b.Month, b.Day, b.Hour, b.Minute, b.Second, b.Milliseconds};
    for (int i = 0; i < 7; ++i) {
        if (left[i] < right[i]) return -1;
        if (left[i] > right[i]) return 1;
    }
    return 0;
}

bool DateTime::ToTicks(int64_t& ticks) const {
    if (Year < kFirstYear || Year > kLastYear) return false;
    if (Month < 1 || Month > 12) return false;
    if (Day < 1 || Day > DaysInMonth(Year, Month)) return false;
    if (Hour >= 24 || Minute >= 60 || Second >= 60 || Milliseconds >= 1000) return false;

    const int64_t days = DaysFromCivil(Year, Month, Day) - kEpochDays;
    const int64_t seconds = days * kSecondsPerDay + Hour * 3600 + Minute * 60 + Second;
    ticks = seconds * kTicksPerSecond + Milliseconds * kTicksPerMillisecond;
    return true;
}

bool DateTime::FromTicks(int64_t ticks, DateTime& out) {
    if (ticks < 0) return false;

    const int64_t totalMilliseconds = ticks / kTicksPerMillisecond;
    const int64_t totalSeconds = totalMilliseconds / 1000;
    const int64_t days = totalSeconds / kSecondsPerDay;
    const int64_t secondOfDay = totalSeconds % kSecondsPerDay;
    const CivilDate date = CivilFromDays(days + kEpochDays);

    DateTime value;
    value.Year = static_cast<uint16_t>(date.year);  // at most 30828 for the largest tick count
    value.Month = static_cast<uint16_t>(date.month);
    value.Day = static_cast<uint16_t>(date.day);
    value.DayOfWeek = static_cast<uint16_t>((days + 1) % 7);  // day 0 was a Monday
    value.Hour = static_cast<uint16_t>(secondOfDay / 3600);
    value.Minute = static_cast<uint16_t>(secondOfDay / 60 % 60);
    value.Second = static_cast<uint16_t>(secondOfDay % 60);
    value.Milliseconds = static_cast<uint16_t>(totalMilliseconds % 1000);
    out = value;
    return true;
}

DateTime& DateTime::AddTime(int32_t days, int32_t hours, int32_t minutes, int32_t seconds, int32_t milliseconds) {
    int64_t ticks = 0;
    if (!ToTicks(ticks)) return *this;

    // ((((days * 24 + hours) * 60 + minutes) * 60 + seconds) * 1000 + milliseconds) * 10000,
    // refused as a whole when a step leaves the 64-bit range.
    int64_t offset = days;
    const bool overflow = __builtin_mul_overflow(offset, 24, &offset) || __builtin_add_overflow(offset, hours, &offset) ||
                          __builtin_mul_overflow(offset, 60, &offset) || __builtin_add_overflow(offset, minutes, &offset) ||
                          __builtin_mul_overflow(offset, 60, &offset) || __builtin_add_overflow(offset, seconds, &offset) ||
                          __builtin_mul_overflow(offset, 1000, &offset) ||
                          __builtin_add_overflow(offset, milliseconds, &offset) ||
                          __builtin_mul_overflow(offset, kTicksPerMillisecond, &offset) ||
                          __builtin_add_overflow(ticks, offset, &ticks);
    if (overflow) return *this;

    FromTicks(ticks, *this);  // leaves the value as it was when the result lies before 1601
    return *this;
}

int32_t DateTime::DiffSeconds(const DateTime& a, const DateTime& b) {
    int64_t ticksA = 0;
    int64_t ticksB = 0;
    if (!a.ToTicks(ticksA) || !b.ToTicks(ticksB)) return 0;
    // Both tick counts lie in years 1601..30827, so the difference cannot overflow.
    const int64_t seconds = (ticksA - ticksB) / kTicksPerSecond;
    if (seconds > INT32_MAX) return INT32_MAX;
    if (seconds < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(seconds);
}

uint32_t DateTime::Format(uint32_t flags, char* buffer, size_t size) const {
    if (buffer == nullptr || size == 0) return 0;

    char text[kFormatBufferSize * 2];
    int length = 0;
    if (flags & DTF_DATE) {
        if (flags & DTF_DATE_MDY) {
            length = std::snprintf(text, sizeof text, "%02d/%02d/%d", Month, Day, Year);
        } else if (flags & DTF_DATE_DMY) {
            length = std::snprintf(text, sizeof text, "%02d/%02d/%d", Day, Month, Year);
        } else {
            length = std::snprintf(text, sizeof text, "%d-%02d-%02d", Year, Month, Day);
        }
    }
    if (flags & DTF_TIME) {
        if (flags & DTF_DATE) text[length++] = ' ';
        char* const time = text + length;
        const size_t room = sizeof text - static_cast<size_t>(length);
        if (flags & DTF_12HOUR) {
            const char* suffix = "AM";
            int hour = Hour;
            if (hour == 0) {
                hour = 12;
            } else if (hour > 11) {
                suffix = "PM";
                if (hour != 12) hour -= 12;
            }
            length += (flags & DTF_NO_MS)
                          ? std::snprintf(time, room, "%02d:%02d:%02d %s", hour, Minute, Second, suffix)
                          : std::snprintf(time, room, "%02d:%02d:%02d.%03d %s", hour, Minute, Second, Milliseconds,
                                          suffix);
        } else {
            length += (flags & DTF_NO_MS)
                          ? std::snprintf(time, room, "%02d:%02d:%02d", Hour, Minute, Second)
                          : std::snprintf(time, room, "%02d:%02d:%02d.%03d", Hour, Minute, Second, Milliseconds);
        }
    }

    size_t count = static_cast<size_t>(length);
    if (count > size - 1) count = size - 1;
    std::memcpy(buffer, text, count);
    buffer[count] = '\0';
    return static_cast<uint32_t>(count);
}

const char* DateTime::FormatShared(uint32_t flags) const {
    thread_local char shared[kFormatBufferSize];
    Format(flags, shared);
    return shared;
}

bool DateTime::Parse(DateTime& out, const char* text) {
    out = DateTime{};
    if (text == nullptr) return false;

    // "%u-%u-%u %u:%u:%u" and, when a point appears anywhere, ".%u" after it.
    const bool withMilliseconds = std::strchr(text, '.') != nullptr;
    uint32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
    ScanfReader in(text);
    bool complete = in.Unsigned(year) && in.Literal('-') && in.Unsigned(month) && in.Literal('-') &&
                    in.Unsigned(day) && (in.SkipBlanks(), in.Unsigned(hour)) && in.Literal(':') &&
                    in.Unsigned(minute) && in.Literal(':') && in.Unsigned(second);
    if (complete && withMilliseconds) complete = in.Literal('.') && in.Unsigned(milliseconds);
    if (!complete) return false;

    out = DateTime(year, month, day, hour, minute, second, milliseconds);
    return true;
}

DateTime DateTime::Now() {
    const CalendarTime now = LocalCalendarTimeNow();
    DateTime value;
    value.Year = now.year;
    value.Month = now.month;
    value.DayOfWeek = now.dayOfWeek;
    value.Day = now.day;
    value.Hour = now.hour;
    value.Minute = now.minute;
    value.Second = now.second;
    value.Milliseconds = now.milliseconds;
    return value;
}

void DateTime::ToSystemTime(SystemTime& out) const {
    out.Year = Year;
    out.Month = Month;
    out.DayOfWeek = 0;
    out.Day = Day;
    out.Hour = Hour;
    out.Minute = Minute;
    out.Second = Second;
    out.Milliseconds = Milliseconds;
}

}  // namespace tallyx

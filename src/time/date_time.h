#pragma once
// DateTime: the library's one date-and-time value. A calendar date and a
// wall-clock time in local time, to the millisecond, with no time zone.

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace tallyx {

// Text form flags of DateTime::Format, combined with bitwise or.
inline constexpr uint32_t DTF_TIME = 0x0001;      // write the time part
inline constexpr uint32_t DTF_DATE = 0x0002;      // write the date part
inline constexpr uint32_t DTF_DATE_MDY = 0x0010;  // date as month/day/year
inline constexpr uint32_t DTF_DATE_DMY = 0x0020;  // date as day/month/year (MDY wins when both are set)
inline constexpr uint32_t DTF_12HOUR = 0x0100;    // 12-hour clock with an "AM"/"PM" suffix
inline constexpr uint32_t DTF_NO_MS = 0x0200;     // leave out the milliseconds

// A date and time taken apart into the eight fields of the Win32 SYSTEMTIME
// layout; used where code rebuilds a DateTime from edited parts and for log
// record time stamps.
struct SystemTime {
    uint16_t Year;
    uint16_t Month;
    uint16_t DayOfWeek;
    uint16_t Day;
    uint16_t Hour;
    uint16_t Minute;
    uint16_t Second;
    uint16_t Milliseconds;
};

// Eight unsigned 16-bit fields in SYSTEMTIME order. Plain data: fields are
// never validated on construction (a month of 13 is stored as such); the
// operations that go through the 100-ns tick count treat such a value as
// unconvertible. All fields zero is the null time, earlier than every real time.
struct DateTime {
    uint16_t Year = 0;
    uint16_t Month = 0;
    uint16_t DayOfWeek = 0;  // 0 = Sunday .. 6 = Saturday; derived, never compared
    uint16_t Day = 0;
    uint16_t Hour = 0;
    uint16_t Minute = 0;
    uint16_t Second = 0;
    uint16_t Milliseconds = 0;

    // Ticks: 100-ns intervals since 1601-01-01 00:00:00, proleptic Gregorian.
    static constexpr int64_t kTicksPerMillisecond = 10000;
    static constexpr int64_t kTicksPerSecond = 10000000;

    // Room for the longest text Format can produce (every field at 65535,
    // all parts and a suffix: 44 characters) and its terminating zero.
    static constexpr size_t kFormatBufferSize = 48;

    // The null time.
    DateTime() = default;

    // Stores the fields, each cut to its low 16 bits, and derives DayOfWeek
    // from the local calendar (0 when the runtime cannot place the date, and
    // for the null time). The stored fields are never normalised.
    DateTime(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute, uint32_t second,
             uint32_t milliseconds);

    bool IsNull() const;

    // -1 when a is earlier than b, 0 when equal, 1 when later; field by field
    // from Year to Milliseconds as unsigned numbers, DayOfWeek ignored.
    static int32_t Compare(const DateTime& a, const DateTime& b);

    // Moves the value by the sum of the arguments (negative values move it
    // back) and returns it. A value that cannot be converted to ticks, an
    // offset beyond the 64-bit tick range, or a result before 1601 leaves the
    // value unchanged. On success all eight fields are replaced.
    DateTime& AddTime(int32_t days, int32_t hours, int32_t minutes, int32_t seconds, int32_t milliseconds);

    // a minus b in whole seconds, truncated toward zero; 0 when either side
    // cannot be converted to ticks. Differences beyond the 32-bit range are
    // clamped to INT32_MIN or INT32_MAX.
    static int32_t DiffSeconds(const DateTime& a, const DateTime& b);

    // Writes the text form selected by flags into buffer (at most size bytes,
    // terminating zero included; longer text is cut) and returns the length
    // of the text written. A size of 0 writes nothing and returns 0.
    uint32_t Format(uint32_t flags, char* buffer, size_t size) const;

    // The same into an array that is always large enough.
    template <size_t N>
    uint32_t Format(uint32_t flags, char (&buffer)[N]) const {
        static_assert(N >= kFormatBufferSize, "DateTime::Format needs kFormatBufferSize bytes");
        return Format(flags, buffer, N);
    }

    // The same text in one buffer per thread; the next call on the same thread
    // overwrites it, so use the result before formatting again.
    const char* FormatShared(uint32_t flags) const;

    // Reads "Y-M-D h:m:s" or, when the text contains a point anywhere,
    // "Y-M-D h:m:s.ms" with scanf's %u rules (blanks before a number, any
    // count of digits, the number after the point counts milliseconds, text
    // after the last item ignored). On failure returns false and leaves out
    // as the null time. A null text fails.
    static bool Parse(DateTime& out, const char* text);

    // The current local date and time, DayOfWeek included.
    static DateTime Now();

    // Copies the fields into out with DayOfWeek set to 0.
    void ToSystemTime(SystemTime& out) const;

    // Tick conversion. Fails when a field lies outside its calendar range:
    // year 1601 to 30827, month 1 to 12, a day that exists in that month,
    // hour < 24, minute < 60, second < 60, milliseconds < 1000. DayOfWeek is
    // not checked.
    bool ToTicks(int64_t& ticks) const;

    // The reverse: fails for a negative tick count, else fills all eight
    // fields of out (DayOfWeek from the calendar) and succeeds.
    static bool FromTicks(int64_t ticks, DateTime& out);
};

static_assert(sizeof(DateTime) == 16, "DateTime keeps the SYSTEMTIME layout");
static_assert(std::is_standard_layout_v<DateTime> && std::is_trivially_copyable_v<DateTime>);
static_assert(sizeof(SystemTime) == 16);

}  // namespace tallyx

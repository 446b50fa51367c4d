// Feeds arbitrary text to DateTime::Parse and checks what a successful or a
// failed parse must leave behind, then runs the value through the other
// operations that see parsed values: formatting, ticks and arithmetic.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "time/date_time.h"

using tallyx::DateTime;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);  // zero-terminated copy

    DateTime value;
    value.Year = 1;  // must be cleared on failure
    if (!DateTime::Parse(value, text.c_str())) {
        if (!value.IsNull() || value.DayOfWeek != 0) std::abort();
        return 0;
    }
    if (value.DayOfWeek > 6) std::abort();

    char buffer[DateTime::kFormatBufferSize];
    static const uint32_t kFlags[] = {0x0003, 0x0203, 0x0313, 0x0022, 0x0001, 0x0333};
    for (uint32_t flags : kFlags) {
        const uint32_t length = value.Format(flags, buffer);
        if (length != std::strlen(buffer) || length >= sizeof buffer) std::abort();
    }

    // A value printed with milliseconds and read back is the same value.
    DateTime again;
    value.Format(0x0003, buffer);
    if (!DateTime::Parse(again, buffer) || DateTime::Compare(value, again) != 0) std::abort();

    int64_t ticks = 0;
    if (value.ToTicks(ticks)) {
        DateTime back;
        if (!DateTime::FromTicks(ticks, back) || DateTime::Compare(back, value) != 0) std::abort();
        DateTime moved = value;
        moved.AddTime(1, -2, 3, -4, 5);
        (void)DateTime::DiffSeconds(moved, value);
    }
    return 0;
}

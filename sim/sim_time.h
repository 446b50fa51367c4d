// Calendar date and time as a counter keeps it: local wall-clock time without a time zone,
// to the millisecond, with its own calendar arithmetic (proleptic Gregorian).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallysim {

struct SimDateTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    // Milliseconds since 1970-01-01 00:00:00.000 of the same (naive, local) clock.
    int64_t ToMillis() const;
    static SimDateTime FromMillis(int64_t millis);

    // True when every field lies in its calendar range.
    bool IsValid() const;

    // "2009-03-07 14:05:09.042"
    std::string Text() const;
    // "2009-03-07 14:05:09"
    std::string TextNoMillis() const;

    // Accepts "YYYY-MM-DD hh:mm:ss", optionally followed by ".mmm" (1 to 3 digits, a fraction
    // of a second), or "YYYY-MM-DD hh:mm", or "YYYY-MM-DD". Surrounding blanks are allowed.
    static std::optional<SimDateTime> Parse(std::string_view text);

    // The computer's local time now.
    static SimDateTime Now();

    friend bool operator==(const SimDateTime&, const SimDateTime&) = default;
};

int DaysInMonth(int year, int month);

}  // namespace tallysim

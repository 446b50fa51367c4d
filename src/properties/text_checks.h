#pragma once
// Small, locale-independent readers of decimal text, safe on any byte values.
#include <cstdint>

namespace tallyx {

inline bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a number the way atol does: leading white space, an optional sign,
// then digits up to the first other character; 0 when there are no digits.
// Values beyond the signed 32-bit range saturate at its limits.
int32_t ParseLong(const char* text);

// Appends one decimal digit to a non-negative value, saturating at INT32_MAX.
inline int32_t AppendDigitSaturating(int32_t value, char digit) {
    constexpr int32_t kMax = INT32_MAX;
    int32_t d = digit - '0';
    if (value > (kMax - d) / 10) return kMax;
    return value * 10 + d;
}

// True when the text is non-empty and every character is a decimal digit.
bool IsAllDigits(const char* text);

// Compares two texts ignoring the letter case of ASCII letters only.
bool EqualsIgnoreCase(const char* a, const char* b);

}  // namespace tallyx

#include "properties/text_checks.h"

namespace tallyx {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

int32_t ParseLong(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (IsBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // Accumulate as a negative number so that INT32_MIN itself is reachable.
    int32_t value = 0;
    for (; IsDecimalDigit(*p); ++p) {
        int32_t d = *p - '0';
        if (value < (INT32_MIN + d) / 10) {
            value = INT32_MIN;
            continue;
        }
        value = value * 10 - d;
    }
    if (negative) return value;
    return value == INT32_MIN ? INT32_MAX : -value;
}

bool IsAllDigits(const char* text) {
    if (text == nullptr || *text == '\0') return false;
    for (const char* p = text; *p != '\0'; ++p) {
        if (!IsDecimalDigit(*p)) return false;
    }
    return true;
}

bool EqualsIgnoreCase(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b)) return false;
    }
    return *a == *b;
}

}  // namespace tallyx

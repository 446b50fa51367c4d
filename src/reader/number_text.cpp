#include "reader/number_text.h"

#include <cctype>

namespace tallyx {

namespace {

constexpr int64_t kMaxInt32 = INT32_MAX;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int32_t ParseDecimal(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    int64_t value = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        value = value * 10 + (text[pos++] - '0');
        if (value > kMaxInt32 + 1) value = kMaxInt32 + 1;
    }
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(value > kMaxInt32 ? kMaxInt32 : value);
}

std::vector<uint32_t> ParseBinNumbers(std::string_view text) {
    std::vector<uint32_t> numbers;
    int64_t value = 0;
    bool inNumber = false;
    for (const char c : text) {
        if (IsDigit(c)) {
            value = value * 10 + (c - '0');
            if (value > kMaxInt32) value = kMaxInt32;
            inNumber = true;
        } else if (inNumber) {
            numbers.push_back(static_cast<uint32_t>(value));
            value = 0;
            inNumber = false;
        }
    }
    if (inNumber) numbers.push_back(static_cast<uint32_t>(value));
    return numbers;
}

}  // namespace tallyx

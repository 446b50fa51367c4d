#pragma once
// Bin lists: the text form of speed and length class limits. A list is a
// sequence of non-negative decimal numbers separated by anything that is not a
// digit ("10, 20;30", "10 20 30"); rebuilt lists use single spaces.
#include <cstdint>
#include <vector>

#include "properties/text_checks.h"

namespace tallyx {

// Calls visit(number) for every digit run of the text, in order. A run too
// long for a signed 32-bit number gives 2147483647.
template <typename Visit>
void ForEachBinNumber(const char* text, Visit visit) {
    if (text == nullptr) return;
    bool inNumber = false;
    int32_t value = 0;
    for (const char* p = text;; ++p) {
        if (IsDecimalDigit(*p)) {
            value = inNumber ? AppendDigitSaturating(value, *p) : (*p - '0');
            inNumber = true;
            continue;
        }
        if (inNumber) visit(static_cast<uint32_t>(value));
        inNumber = false;
        if (*p == '\0') break;
    }
}

// Replaces the content of numbers with the numbers of the text; returns their
// count (0 when the text holds no digit).
uint32_t ParseBinList(const char* text, std::vector<uint32_t>& numbers);

enum class BinListOrder { Empty, Increasing, OutOfSequence };

// Checks a list without storing it: does it hold a number, and does every
// number exceed the one before it?
BinListOrder CheckBinList(const char* text);

// Writes the numbers as "%lu" texts separated by single spaces into a buffer of
// bufferSize bytes, terminating null included. Returns 0, or
// RETCODE_ERR_BUFFERTOOSMALL when the text does not fit; the buffer then holds
// the numbers that did fit, still terminated.
int32_t FormatBinList(const std::vector<uint32_t>& numbers, char* buffer, uint32_t bufferSize);

}  // namespace tallyx

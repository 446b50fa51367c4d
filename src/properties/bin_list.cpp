#include "properties/bin_list.h"

#include <cstdio>
#include <cstring>

#include <tallyx/tallyx.h>

namespace tallyx {

namespace {
constexpr std::size_t kInitialCapacity = 256;
}  // namespace

uint32_t ParseBinList(const char* text, std::vector<uint32_t>& numbers) {
    numbers.clear();
    numbers.reserve(kInitialCapacity);
    ForEachBinNumber(text, [&numbers](uint32_t number) { numbers.push_back(number); });
    return static_cast<uint32_t>(numbers.size());
}

BinListOrder CheckBinList(const char* text) {
    BinListOrder order = BinListOrder::Empty;
    uint32_t previous = 0;
    ForEachBinNumber(text, [&](uint32_t number) {
        if (order == BinListOrder::Empty) {
            order = BinListOrder::Increasing;
        } else if (order == BinListOrder::Increasing && number <= previous) {
            order = BinListOrder::OutOfSequence;
        }
        previous = number;
    });
    return order;
}

int32_t FormatBinList(const std::vector<uint32_t>& numbers, char* buffer, uint32_t bufferSize) {
    if (buffer == nullptr || bufferSize == 0) return RETCODE_ERR_BUFFERTOOSMALL;
    std::size_t length = 0;
    buffer[0] = '\0';
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        char digits[16];
        int written = std::snprintf(digits, sizeof digits, "%lu", static_cast<unsigned long>(numbers[i]));
        std::size_t numberLength = static_cast<std::size_t>(written);
        std::size_t separator = i == 0 ? 0 : 1;
        // The separator, the number and the terminating null must all fit.
        if (length + separator + numberLength >= bufferSize) return RETCODE_ERR_BUFFERTOOSMALL;
        if (separator != 0) buffer[length++] = ' ';
        std::memcpy(buffer + length, digits, numberLength + 1);
        length += numberLength;
    }
    return RETCODE_OK;
}

}  // namespace tallyx

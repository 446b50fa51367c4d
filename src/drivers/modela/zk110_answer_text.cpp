#include "drivers/modela/zk110_answer_text.h"

#include <cstring>

#include "export/text_line.h"

namespace tallyx {

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

const char* AnswerTextFrom(const char* answer, uint32_t position) {
    if (answer == nullptr) return "";
    const size_t skip = position > 0 ? position - 1 : 0;
    if (strnlen(answer, skip) < skip) return "";
    const char* text = answer + skip;
    while (*text == ' ') ++text;
    return text;
}

uint32_t ParseHexNumber(const char* text) {
    uint64_t value = 0;
    for (const char* p = text; p != nullptr; ++p) {
        const int digit = HexDigitValue(*p);
        if (digit < 0) break;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > UINT32_MAX) value = UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

void ConvertHexBinList(const char* text, char* output, uint32_t size) {
    TextLine line(output, size);
    const char* number = nullptr;  // start of the pending run of digits
    for (const char* p = text != nullptr ? text : "";; ++p) {
        if (*p != '\0' && HexDigitValue(*p) >= 0) {
            if (number == nullptr) number = p;
            continue;
        }
        if (number != nullptr) {
            const uint32_t value = ParseHexNumber(number);
            number = nullptr;
            if (value == 0) break;
            line.AppendSigned(static_cast<int32_t>(value));
        }
        if (*p == '\0') break;
        line.AppendChar(*p);
    }
    if (size == 0 || output == nullptr) return;
    size_t length = std::strlen(output);
    while (length > 0 && output[length - 1] == ' ') output[--length] = '\0';
}

double LegacyBatteryVoltage(uint32_t raw) {
    const double r = static_cast<double>(raw);
    return (r - (188.0 - r) * 0.22) * 0.0129 * 1.6;
}

uint32_t BatteryPercentFromVoltage(double volts) {
    if (volts < 3.74) return 15;
    if (volts < 3.81) return 30;
    if (volts < 3.87) return 50;
    if (volts < 3.94) return 75;
    if (volts < 4.19) return 90;
    return 100;
}

}  // namespace tallyx

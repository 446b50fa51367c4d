#include "drivers/modela/zk110_framing.h"

#include <cstdio>
#include <cstring>

#include <tallyx/tallyx.h>

#include "comm/checksums.h"

namespace tallyx {

void ZK110Frame::FormatCheckValue(const char* text, size_t length, char (&out)[kCheckTextSize]) {
    uint8_t sum = Sum8(reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(length));
    std::snprintf(out, sizeof out, "%X", static_cast<unsigned>(sum));
}

uint32_t ZK110Frame::BuildCommand(const char* command, char* frame, uint32_t capacity) {
    if (command == nullptr || frame == nullptr || capacity == 0) return 0;
    size_t length = strnlen(command, capacity);
    char check[kCheckTextSize];
    FormatCheckValue(command, length, check);
    // The command, "|", the check value, the carriage return and a zero.
    size_t frameLength = length + 1 + std::strlen(check) + 1;
    if (frameLength + 1 > capacity) return 0;
    std::memcpy(frame, command, length);
    frame[length] = kSeparator;
    std::memcpy(frame + length + 1, check, std::strlen(check));
    frame[frameLength - 1] = static_cast<char>(kTerminator);
    frame[frameLength] = '\0';
    return static_cast<uint32_t>(frameLength);
}

ZK110Frame::AnswerCheck ZK110Frame::CheckAnswer(char* text) {
    AnswerCheck check;
    char* separator = std::strchr(text, kSeparator);
    if (separator == nullptr) {
        check.result = RETCODE_ERR_READNOCRC;
        return check;
    }
    *separator = '\0';
    check.receivedCheck = separator + 1;
    FormatCheckValue(text, static_cast<size_t>(separator - text), check.computedCheck);
    check.result = std::strcmp(check.receivedCheck, check.computedCheck) == 0 ? RETCODE_OK : RETCODE_ERR_CRC;
    return check;
}

void ZK110ClockText::Format(const DateTime& time, char (&out)[kSize]) {
    std::snprintf(out, sizeof out, "%02u%02u%02u%02u%02u%02u", static_cast<unsigned>(time.Year - 2000u),
                  static_cast<unsigned>(time.Month), static_cast<unsigned>(time.Day),
                  static_cast<unsigned>(time.Hour), static_cast<unsigned>(time.Minute),
                  static_cast<unsigned>(time.Second));
}

bool ZK110Page::IsEmpty(const uint8_t* page) {
    for (uint32_t i = 0; i < kZK110PageDataSize; ++i)
        if (page[i] != 0xFF) return false;
    return true;
}

ZK110Page::CrcCheck ZK110Page::CheckCrc(const uint8_t* page) {
    CrcCheck check;
    check.received = static_cast<uint16_t>(page[kCrcOffset] * 256u + page[kCrcOffset + 1]);
    // Crc16Modbus already returns the CRC with its bytes swapped, the order
    // in which the page carries it.
    check.computed = Crc16Modbus(page, kCrcCoverage);
    check.ok = check.received == check.computed;
    return check;
}

}  // namespace tallyx

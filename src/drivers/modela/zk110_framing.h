#pragma once
// The model A wire formats: the checksummed text frame of commands and
// answers, the clock text, and the CRC-protected 260-byte flash page. Pure
// functions on bytes; the driver does the talking.
#include <cstddef>
#include <cstdint>

#include "drivers/modela/zk110_model.h"
#include "time/date_time.h"

namespace tallyx {

struct ZK110Frame {
    static constexpr uint8_t kTerminator = 0x0D;
    static constexpr char kSeparator = '|';
    // A check value is one or two hexadecimal digits and a terminating zero.
    static constexpr size_t kCheckTextSize = 3;

    // The check value of a text: the sum of its bytes modulo 256 written as
    // upper-case hexadecimal without leading zeros ("C", "92", "0").
    static void FormatCheckValue(const char* text, size_t length, char (&out)[kCheckTextSize]);

    // Writes command, "|", its check value and a carriage return into frame
    // (capacity bytes) followed by a terminating zero that is not part of the
    // frame. Returns the frame's length, or 0 when it does not fit.
    static uint32_t BuildCommand(const char* command, char* frame, uint32_t capacity);

    struct AnswerCheck {
        int32_t result = 0;               // 0, RETCODE_ERR_READNOCRC or RETCODE_ERR_CRC
        const char* receivedCheck = "";   // the text after the first "|" (empty without one)
        char computedCheck[kCheckTextSize] = {};
    };

    // Checks a received answer whose carriage return has already been
    // replaced by a terminating zero. The text is cut at its first "|" (which
    // becomes a zero, so `text` is then the answer text alone); the check
    // value after it must equal the computed one exactly, as text.
    static AnswerCheck CheckAnswer(char* text);
};

// The counter's clock text YYMMDDhhmmss as it is sent.
struct ZK110ClockText {
    // Twelve digits, with room for fields outside their two-digit range (a
    // year before 2000 wraps around as an unsigned number).
    static constexpr size_t kSize = 64;

    static void Format(const DateTime& time, char (&out)[kSize]);
};

// A flash page (kZK110PageSize bytes) and its CRC.
struct ZK110Page {
    // The CRC covers bytes 0 to 254.
    static constexpr uint32_t kCrcCoverage = 255;
    static constexpr uint32_t kCrcOffset = 256;

    // A page whose record data are all 0xFF holds nothing and ends a data area.
    static bool IsEmpty(const uint8_t* page);

    struct CrcCheck {
        bool ok = false;
        uint16_t received = 0;  // byte 256 * 256 + byte 257
        uint16_t computed = 0;  // the CRC's low byte * 256 + its high byte
    };
    // The CRC-16/MODBUS of bytes 0 to 254, stored low byte first at 256.
    static CrcCheck CheckCrc(const uint8_t* page);
};

}  // namespace tallyx

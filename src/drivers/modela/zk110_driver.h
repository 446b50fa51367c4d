#pragma once
// The driver of the model A counter (ZK110): short colon commands in a
// checksummed text frame, recorded data read as CRC-protected flash pages,
// and the wire formats it sends and checks.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "drivers/counter_driver.h"
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

class ZK110Values;

class ZK110Driver : public CounterDriver {
public:
    // Every request is tried this often before its error is returned.
    static constexpr uint32_t kAttempts = 3;
    // Sequential records live on chips 2 and 3, periodic records on chip 1,
    // each from page 8 to page 4095.
    static constexpr uint32_t kPeriodicChip = 1;
    static constexpr uint32_t kFirstSequentialChip = 2;
    static constexpr uint32_t kLastSequentialChip = 3;
    static constexpr uint32_t kFirstDataPage = 8;
    static constexpr uint32_t kLastDataPage = 4095;
    // A running study is completed by setting the clock this many seconds
    // before its end and waiting one second longer than that.
    static constexpr int32_t kCompletionLeadSeconds = 10;

    // One field of the counter and the line logged before it is asked for.
    struct FieldRequest {
        const char* command;
        const char* info;
    };

    explicit ZK110Driver(const DriverParts& parts);

    ZK110Values& Values();

    // Pause between the progress steps while a running study completes.
    uint32_t completionStepMs = 1000;

    // ---- exchanges with the counter
    // Frames and sends one command; waits for no answer.
    int32_t SendCommand(const char* command);
    // Receives and checks one text answer; answer gets the text without the
    // check value.
    int32_t ReceiveAnswer(Answer& answer);
    // Receives one 260-byte page into buffer (room for 260 bytes); length is
    // 260, or 0 for an empty page.
    int32_t ReceivePage(uint8_t* buffer, uint32_t& length);
    // Writes one setting with ":S" and reads it back with ":R".
    int32_t WriteValue(const char* name, const char* writeKey, const char* readKey, const char* value);
    int32_t SetClock(const DateTime& time);

    // ---- reading
    int32_t ReadDeviceFields(bool full);
    // Download a data area; on an error the buffer is freed.
    int32_t ReadSequentialPages(RecordBuffer& data);
    // One page per period of the study at the most.
    int32_t ReadPeriodicPages(RecordBuffer& data);
    int32_t CompleteStudy();

    // ---- writing
    int32_t EraseFlash();
    // Writes one study setting (a property of the settings table) and reads it back.
    int32_t WriteProperty(const char* name, const char* writeKey, const char* readKey);
    // Writes every setting, the clock, reverse bins and date encoding, and starts the study.
    int32_t WriteStudy();

protected:
    int32_t ReadDeviceInfo() override { return ReadDeviceFields(false); }
    int32_t ReadEverything() override;
    int32_t ReadBatteryPercent(int32_t& percent) override;
    int32_t ProgramOnce() override;
    int32_t SetBatteryDischarge(bool start) override;
    int32_t ExchangeOnce(const char* command, Answer& answer) override;
    void RequestEnded(const char* command) override { previousRequest_.assign(command); }
    int32_t ReceiveWakeUp() override;

private:
    // Whether an answer that does not answer command answers the request
    // sent before it: the late answer of an exchange that already failed.
    bool IsLateAnswer(const char* command, const char* answer) const;
    // Requests one page with its attempts; length as in ReceivePage.
    int32_t RequestPage(uint32_t chip, uint32_t page, uint8_t* buffer, uint32_t& length);
    // Downloads the pages of chips first to last from page 8 on, at most
    // `limit` of them, until an empty page; of each page the first `keep`
    // bytes stay. `area` names the data in the log.
    int32_t ReadPages(const char* area, uint32_t firstChip, uint32_t lastChip, uint32_t limit, uint32_t keep,
                      RecordBuffer& data);
    // Requests the fields in order, each answer going to the values object.
    int32_t RequestFields(std::span<const FieldRequest> fields);
    // Writes value with ":S" and writeKey, and reads it back with ":R" and
    // readKey; `kind` ("value", "property") names it in the log, `mismatch`
    // is logged when the counter reads back something else.
    int32_t WriteAndReadBack(const char* kind, const char* name, const char* writeKey, const char* readKey,
                             const char* value, const char* mismatch);
    // The text WriteProperty sends for a setting; false when a property cannot be read.
    int32_t PropertyValueText(const char* name, char* text, uint32_t size);

    // The command of the last Request, whatever its outcome.
    std::string previousRequest_;
};

}  // namespace tallyx

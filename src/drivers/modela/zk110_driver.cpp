#include "drivers/modela/zk110_driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <tallyx/tallyx.h>

#include "comm/checksums.h"
#include "comm/comm_log.h"
#include "comm/comm_port.h"
#include "comm/port_link.h"
#include "device/device_statistics.h"
#include "device/device_values.h"
#include "drivers/modela/zk110_values.h"
#include "drivers/record_buffer.h"
#include "properties/property_store.h"
#include "time/date_time.h"

namespace tallyx {

// ---------------------------------------------------------------- wire formats

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

// ---------------------------------------------------------------- exchanges

namespace {

// Room for the longest command: a write key and a setting of 1024 bytes.
constexpr uint32_t kCommandCapacity = 2048;
// The command, "|", two check digits, the carriage return and a zero.
constexpr uint32_t kFrameCapacity = kCommandCapacity + 8;

// A clock read back at most this many seconds behind the written time passes.
constexpr int32_t kClockTolerance = 10;

// Late answers to the previous request passed over within one attempt before
// it fails.
constexpr uint32_t kStaleAnswersPassedOver = 3;

// Whether answer can be the counter's answer to command: every answer begins
// with an echo (a read's key, ":X:7" for ":R:X:7"; ":Y" for a write and the
// erase; the query itself for ":F", ":b", ":B" and ":J"), and ":N" refuses any
// command.
bool AnswersRequest(const char* command, const char* answer) {
    if (std::strncmp(answer, ":N", 2) == 0) return true;
    if (std::strncmp(command, ":R", 2) == 0 && command[2] != '\0') {
        return std::strncmp(answer, command + 2, std::strlen(command + 2)) == 0;
    }
    if (std::strncmp(command, ":S", 2) == 0 || std::strcmp(command, ":X") == 0) {
        return std::strncmp(answer, ":Y", 2) == 0;
    }
    for (const char* query : {":F", ":b", ":B", ":J"}) {
        if (std::strcmp(command, query) == 0) return std::strncmp(answer, query, 2) == 0;
    }
    return true;
}

// A long low-battery prompt does not let the counter fall asleep.
constexpr CounterDriver::Rules kRules{.attempts = ZK110Driver::kAttempts, .promptIdleMs = 0,
                                       .programFailed = "All %u EraseFlash/WriteStudy retries failed!",
                                       .dumpsStudySettings = true};

}  // namespace

ZK110Driver::ZK110Driver(const DriverParts& parts) : CounterDriver(kZK110Model, parts, kRules) {
    CreateValues<ZK110Values>();
}

ZK110Values& ZK110Driver::Values() { return static_cast<ZK110Values&>(*values); }

int32_t ZK110Driver::SendCommand(const char* command) {
    char frame[kFrameCapacity];
    uint32_t length = ZK110Frame::BuildCommand(command, frame, sizeof frame);
    if (length == 0) {
        commLog->LogError("Command is too long to be sent: %.64s", command != nullptr ? command : "");
        return RETCODE_ERR_SENDINGDATA;
    }
    return SendBytes(frame, length, length);
}

int32_t ZK110Driver::ReceiveAnswer(Answer& answer) {
    // One byte more than is received, so the text is always terminated.
    uint8_t received[kCounterLineCapacity + 1] = {};
    uint32_t count = 0;
    int32_t result = link->ReceiveUntil(received, kCounterLineCapacity, &count, ZK110Frame::kTerminator);
    if (result != RETCODE_OK) return result;
    commLog->Dump("IN", received, count, 1);

    // The last byte (the carriage return, unless the answer filled the
    // buffer) ends the text.
    char* text = reinterpret_cast<char*>(received);
    text[count != 0 ? count - 1 : 0] = '\0';
    commLog->LogInfo("Device => %s", text);

    ZK110Frame::AnswerCheck check = ZK110Frame::CheckAnswer(text);
    if (check.result == RETCODE_ERR_READNOCRC) {
        commLog->LogError("CRC field was not found in the response!");
        return check.result;
    }
    if (check.result != RETCODE_OK) {
        commLog->LogError("CRC test failed (Received:%s. Correct:%s)!", check.receivedCheck, check.computedCheck);
        return check.result;
    }
    // The text before "|" is shorter than the answer buffer.
    std::strcpy(answer, text);
    return RETCODE_OK;
}

bool ZK110Driver::IsLateAnswer(const char* command, const char* answer) const {
    return !previousRequest_.empty() && !AnswersRequest(command, answer) &&
           AnswersRequest(previousRequest_.c_str(), answer);
}

int32_t ZK110Driver::ExchangeOnce(const char* command, Answer& answer) {
    int32_t result = SendCommand(command);
    if (result == RETCODE_OK) result = ReceiveAnswer(answer);
    // The previous request's answer, when it came too late, may still arrive
    // after the purge; this request's own answer follows it. Any other answer
    // is this request's, to be judged by the caller.
    for (uint32_t stale = 0; result == RETCODE_OK && IsLateAnswer(command, answer); ++stale) {
        if (stale == kStaleAnswersPassedOver) return RETCODE_ERR_BADRESPONSE;
        commLog->LogWarning("Passing over an answer that is not for %s: %s", command, answer);
        result = ReceiveAnswer(answer);
    }
    return result;
}

int32_t ZK110Driver::ReceivePage(uint8_t* buffer, uint32_t& length) {
    length = 0;
    uint32_t count = 0;
    int32_t result = link->ReceiveExact(buffer, kZK110PageSize, &count, kZK110PageSize);
    if (result != RETCODE_OK) return result;
    ++statistics->pagesRead;
    commLog->Dump("IN", buffer, count, 1);
    commLog->LogInfo("Device => %luB page (see comm log for details)", static_cast<unsigned long>(count));

    if (ZK110Page::IsEmpty(buffer)) return RETCODE_OK;
    ZK110Page::CrcCheck crc = ZK110Page::CheckCrc(buffer);
    if (!crc.ok) {
        commLog->LogError("CRC test failed (Received:%u. Correct:%u)!", static_cast<unsigned>(crc.received),
                          static_cast<unsigned>(crc.computed));
        return RETCODE_ERR_CRC;
    }
    length = count;
    return RETCODE_OK;
}

int32_t ZK110Driver::WriteValue(const char* name, const char* writeKey, const char* readKey, const char* value) {
    return WriteAndReadBack("value", name, writeKey, readKey, value,
                            "Newly written value does not match what was supposed to be written!");
}

int32_t ZK110Driver::WriteAndReadBack(const char* kind, const char* name, const char* writeKey, const char* readKey,
                                      const char* value, const char* mismatch) {
    commLog->LogInfo("Writing %s: %s=%s", kind, name, value);
    char command[kCommandCapacity];
    int written = std::snprintf(command, sizeof command, ":S%s%s", writeKey, value);
    if (written < 0 || static_cast<size_t>(written) >= sizeof command) {
        commLog->LogError("Command is too long to be sent: %.64s", command);
        return RETCODE_ERR_SENDINGDATA;
    }
    Answer answer;
    int32_t result = Request(command, answer);
    if (result != RETCODE_OK) return result;
    if (std::strcmp(answer, ":Y") != 0) {
        commLog->LogError("Received invalid response to write %s command!", kind);
        return RETCODE_ERR_SENDINGDATA;
    }

    commLog->LogInfo("Reading back %s %s", kind, name);
    std::snprintf(command, sizeof command, ":R%s", readKey);
    result = Request(command, answer);
    if (result != RETCODE_OK) return result;

    bool matches;
    if (std::strcmp(readKey, ":t") == 0) {
        // The counter's clock has run on since it was set: it may be ahead
        // of the written time, but not more than a little behind it.
        DateTime wrote = ParseClockText(value);
        DateTime readBack = ParseClockText(std::strlen(answer) >= 2 ? answer + 2 : "");
        matches = DateTime::DiffSeconds(wrote, readBack) <= kClockTolerance;
    } else if (std::strcmp(readKey, ":Q") == 0) {
        matches = std::strchr(answer, 's') != nullptr;
    } else {
        matches = std::strstr(answer, value) != nullptr;
    }
    if (!matches) {
        commLog->LogError("%s", mismatch);
        return RETCODE_ERR_CONFIRMATION;
    }
    return RETCODE_OK;
}

int32_t ZK110Driver::SetClock(const DateTime& time) {
    char text[ZK110ClockText::kSize];
    ZK110ClockText::Format(time, text);
    return WriteValue("RealTimeClock", ":T", ":t", text);
}

// ---------------------------------------------------------------- reading
// The identity, battery and study fields, the completion of a running study,
// and the download of both data areas of the counter's flash.

namespace {

// Finish codes of a study that is still running.
bool IsRunning(int32_t finishCode) { return finishCode >= 11 && finishCode <= 13; }

constexpr ZK110Driver::FieldRequest kFinishCodeField[] = {
    {":R:F", "Attempting to read Study Finish Code field"},
};
constexpr ZK110Driver::FieldRequest kStudyTimeFields[] = {
    {":R:F", "Attempting to read Study Finish Code field"},
    {":R:B", "Attempting to read Study Start field"},
    {":R:E", "Attempting to read Study End field"},
};
constexpr ZK110Driver::FieldRequest kIdentityFields[] = {
    {":R:X:7", "Attempting to read Serial Number field"},
    {":R:X:8", "Attempting to read Unit Type field"},
    {":F", "Attempting to read Firmware Revision field"},
    {":b", "Attempting to read Battery Voltage field"},
};
constexpr ZK110Driver::FieldRequest kChargeField[] = {
    {":J", "Attempting to read Accumulated Charge Register (ACR) field"},
};
constexpr ZK110Driver::FieldRequest kStudySettingFields[] = {
    {":R:X:0", "Attempting to read State field"},
    {":R:X:1", "Attempting to read City field"},
    {":R:X:2", "Attempting to read County field"},
    {":R:X:3", "Attempting to read Street field"},
    {":R:X:4", "Attempting to read Direction field"},
    {":R:X:5", "Attempting to read Speed Limit field"},
    {":R:X:6", "Attempting to read Operator Initials field"},
    {":R:H", "Attempting to read Study Range field"},
    {":R:P", "Attempting to read Study Period field"},
    {":R:C", "Attempting to read Study Length Bins field"},
    {":R:S", "Attempting to read Study Speed Bins field"},
    {":R:Q", "Attempting to read Study Date Encoding flag"},
};

}  // namespace

int32_t ZK110Driver::ReadEverything() {
    int32_t result = ReadDeviceFields(true);
    if (result != RETCODE_OK) return result;

    RecordBuffer sequential;
    result = ReadSequentialPages(sequential);
    if (result != RETCODE_OK) return result;
    result = DecodeDownload(kZK110SequentialRawLayout, sequential, [this](const uint8_t* data, uint32_t length) {
        return Values().DecodeSequential(data, length);
    });
    if (result != RETCODE_OK) return result;

    RecordBuffer periodic;
    result = ReadPeriodicPages(periodic);
    if (result != RETCODE_OK) return result;
    result = DecodeDownload(kZK110PeriodicRawLayout, periodic, [this](const uint8_t* data, uint32_t length) {
        return Values().DecodePeriodic(data, length);
    });
    return result;
}

int32_t ZK110Driver::RequestFields(std::span<const FieldRequest> fields) {
    Answer answer;
    for (const FieldRequest& field : fields) {
        commLog->LogInfo("%s", field.info);
        int32_t result = Request(field.command, answer);
        if (result != RETCODE_OK) return result;
        Values().ParseAnswer(field.command, answer);
    }
    return RETCODE_OK;
}

int32_t ZK110Driver::ReadDeviceFields(bool full) {
    int32_t result;
    if (full) {
        if ((result = RequestFields(kStudyTimeFields)) != RETCODE_OK) return result;
        if (IsRunning(Values().Study().finishCode)) {
            if ((result = CompleteStudy()) != RETCODE_OK) return result;
            if ((result = RequestFields(kFinishCodeField)) != RETCODE_OK) return result;
        }
    }
    if ((result = RequestFields(kIdentityFields)) != RETCODE_OK) return result;
    if (properties->Text(PROPERTY_DEV_BATTERYVOLTAGE)[0] == '\0') {
        // Older units answer ":B" with a raw reading: relabelled, it is
        // parsed like a battery answer.
        commLog->LogInfo("Attempting to read Battery Voltage (legacy) field");
        Answer answer;
        if ((result = Request(":B", answer)) != RETCODE_OK) return result;
        if (std::strlen(answer) >= 2) {
            answer[0] = ':';
            answer[1] = 'b';
        }
        Values().ParseAnswer(":B", answer);
    }
    if ((result = RequestFields(kChargeField)) != RETCODE_OK) return result;
    if (full && (result = RequestFields(kStudySettingFields)) != RETCODE_OK) return result;
    return RETCODE_OK;
}

int32_t ZK110Driver::RequestPage(uint32_t chip, uint32_t page, uint8_t* buffer, uint32_t& length) {
    char command[32];
    std::snprintf(command, sizeof command, ":F:X,%u,%u", page, chip);
    const int32_t result = Attempts(
        [&] {
            commLog->LogInfo("Accessing chip:%u page:%u", chip, page);
            int32_t sent = SendCommand(command);
            return sent == RETCODE_OK ? ReceivePage(buffer, length) : sent;
        },
        [&] { commLog->LogWarning("Attempt to access chip:%u page:%u failed. Retrying...", chip, page); });
    if (result != RETCODE_OK) {
        commLog->LogError("All (%d) attempts to access chip:%u page:%u failed!", static_cast<int>(kAttempts), chip,
                          page);
    }
    return result;
}

int32_t ZK110Driver::ReadPages(const char* area, uint32_t firstChip, uint32_t lastChip, uint32_t limit,
                               uint32_t keep, RecordBuffer& data) {
    uint32_t chip = firstChip;
    uint32_t page = kFirstDataPage;
    uint32_t kept = 0;
    const int32_t result = DownloadBlocks(data, [&]() -> int32_t {
        if (page > kLastDataPage && ++chip <= lastChip) page = kFirstDataPage;
        if (chip > lastChip || kept == limit) return RETCODE_OK;
        int32_t fetched = ReserveBlock(data, kZK110PageSize, "Not enough memory for %lu bytes of data");
        uint32_t length = 0;
        if (fetched == RETCODE_OK) fetched = RequestPage(chip, page++, data.End(), length);
        if (fetched != RETCODE_OK) return fetched;
        if (length == 0) {
            commLog->LogInfo("Reading of the %s data pages is done (received an empty page)", area);
            return RETCODE_OK;
        }
        // Only the first `keep` bytes stay; the next page overwrites the rest.
        data.Commit(keep);
        ++kept;
        return RETCODE_OK;
    });
    if (result != RETCODE_OK) return result;
    commLog->LogInfo("Successfully retrieved %s data (%lu bytes)", area, static_cast<unsigned long>(data.Length()));
    return RETCODE_OK;
}

int32_t ZK110Driver::ReadSequentialPages(RecordBuffer& data) {
    commLog->LogInfo("Attempting to read sequential data");
    return ReadPages("sequential", kFirstSequentialChip, kLastSequentialChip, UINT32_MAX, kZK110PageDataSize, data);
}

int32_t ZK110Driver::ReadPeriodicPages(RecordBuffer& data) {
    // One page per period of the study: no more are asked for.
    const StudyFacts& study = Values().Study();
    uint32_t limit = 0;
    const int64_t periodSeconds = int64_t{study.periodMinutes} * 60;
    if (DateTime::Compare(study.end, study.begin) > 0 && periodSeconds > 0) {
        const int64_t seconds = DateTime::DiffSeconds(study.end, study.begin);
        limit = static_cast<uint32_t>(seconds / periodSeconds + (seconds % periodSeconds != 0 ? 1 : 0));
    }
    commLog->LogInfo("Attempting to read periodic data (max %u pages)", limit);
    return ReadPages("periodic", kPeriodicChip, kPeriodicChip, limit, kZK110PageSize, data);
}

int32_t ZK110Driver::CompleteStudy() {
    DateTime end = Values().Study().end;
    end.AddTime(0, 0, 0, -kCompletionLeadSeconds, 0);
    char text[DateTime::kFormatBufferSize];
    end.Format(DTF_DATE | DTF_TIME, text);
    commLog->LogInfo("Trying to complete the study by settings RTC to %s", text);
    int32_t result = SetClock(end);
    if (result != RETCODE_OK) return result;

    commLog->LogInfo("Waiting (%d sec) for the unit to complete the study...", kCompletionLeadSeconds);
    for (int32_t second = 0; second <= kCompletionLeadSeconds; ++second) {
        Pause(completionStepMs);
        result = StepProgress();
        if (result != RETCODE_OK) return result;
    }
    return Rewake();
}

int32_t ZK110Driver::ReceiveWakeUp() {
    // The counter's wake-up text and its carriage return, exactly.
    const std::string expected = std::string(Model().wakeUpText) + '\r';
    // One byte more than is received, so the text is always terminated.
    uint8_t received[kCounterLineCapacity + 1] = {};
    for (uint32_t i = 0; i < expected.size(); ++i) {
        uint32_t count = 0;
        const int32_t result = link->ReceiveExact(received + i, kCounterLineCapacity - i, &count, 1);
        if (result != RETCODE_OK) {
            commLog->LogError("Failed to receive response from the device");
            return result;
        }
        if (received[i] != static_cast<uint8_t>(expected[i])) {
            commLog->LogError("Received invalid wake-up response from the device: %s",
                              reinterpret_cast<const char*>(received));
            return RETCODE_ERR_FAILEDTOWAKEUP;
        }
    }
    return RETCODE_OK;
}

// ---------------------------------------------------------------- writing
// Programming a new study (erasing the study memory, every setting written and
// read back, the clock, the start) and starting the battery discharge.

namespace {

// The study settings in the order they are written, with the keys that write
// and read each back.
struct StudySetting {
    const char* property;
    const char* writeKey;
    const char* readKey;
};
constexpr StudySetting kStudySettings[] = {
    {PROPERTY_STUDY_STATE, ":X:0", ":X:0"},        {PROPERTY_STUDY_CITY, ":X:1", ":X:1"},
    {PROPERTY_STUDY_COUNTY, ":X:2", ":X:2"},       {PROPERTY_STUDY_ADDRESS, ":X:3", ":X:3"},
    {PROPERTY_STUDY_LANE, ":X:4", ":X:4"},         {PROPERTY_STUDY_SPEEDLIMIT, ":X:5", ":X:5"},
    {PROPERTY_STUDY_OPERATOR, ":X:6", ":X:6"},     {PROPERTY_STUDY_SPEEDBINS, ":S", ":S"},
    {PROPERTY_STUDY_LENGTHBINS, ":L", ":C"},       {PROPERTY_STUDY_BEGINDATETIME, ":B", ":B"},
    {PROPERTY_STUDY_ENDDATETIME, ":E", ":E"},      {PROPERTY_STUDY_RANGETIME, ":H", ":H"},
    {PROPERTY_STUDY_PERIODTIME, ":P", ":P"},
};

constexpr uint32_t kEraseAttempts = 2;

bool IsTextSetting(const char* name) {
    for (const char* text : {PROPERTY_STUDY_STATE, PROPERTY_STUDY_CITY, PROPERTY_STUDY_COUNTY, PROPERTY_STUDY_ADDRESS,
                             PROPERTY_STUDY_LANE, PROPERTY_STUDY_SPEEDLIMIT, PROPERTY_STUDY_OPERATOR}) {
        if (std::strcmp(name, text) == 0) return true;
    }
    return false;
}

// Every run of decimal digits becomes the same number in upper-case
// hexadecimal; everything else is copied. The output is cut to size.
void HexBinList(const char* text, char* output, uint32_t size) {
    uint32_t used = 0;
    output[0] = '\0';
    while (*text != '\0' && used + 1 < size) {
        if (*text >= '0' && *text <= '9') {
            uint64_t value = 0;
            while (*text >= '0' && *text <= '9') {
                value = value * 10 + static_cast<uint64_t>(*text - '0');
                if (value > UINT32_MAX) value = UINT32_MAX;
                ++text;
            }
            const int written = std::snprintf(output + used, size - used, "%lX", static_cast<unsigned long>(value));
            if (written < 0 || static_cast<uint32_t>(written) >= size - used) {
                output[used] = '\0';
                return;
            }
            used += static_cast<uint32_t>(written);
        } else {
            output[used++] = *text++;
            output[used] = '\0';
        }
    }
}

// Field n (from 0) of a text of fields separated by "_", read as a number.
double UnderscoreField(const char* text, uint32_t n) {
    for (uint32_t i = 0; i < n && text != nullptr; ++i) {
        text = std::strchr(text, '_');
        if (text != nullptr) ++text;
    }
    return text != nullptr ? std::atof(text) : 0.0;
}

}  // namespace

int32_t ZK110Driver::ProgramOnce() {
    int32_t result = EraseFlash();
    if (result == RETCODE_OK) result = WriteStudy();
    return result;
}

int32_t ZK110Driver::ReadBatteryPercent(int32_t& percent) {
    char acr[256];
    int32_t result = properties->Get(PROPERTY_DEV_ACR, acr, sizeof acr, false);
    if (result != RETCODE_OK) return result;

    percent = 0;
    if (acr[0] == '\0') {
        const double volts = std::atof(properties->Text(PROPERTY_DEV_BATTERYVOLTAGE));
        if (volts <= 3.80999999999) percent = 15;
        else if (volts <= 3.92999999999) percent = 30;
        else if (volts <= 4.07999999999) percent = 50;
        else if (volts <= 4.1899999999) percent = 75;
        else if (volts < 4.8) percent = 100;
        else percent = 0;
        commLog->LogInfo("Current battery voltage is %7.2f (%d %%)", volts, static_cast<int>(percent));
    } else {
        const double full = UnderscoreField(acr, 0);
        const double charge = UnderscoreField(acr, 1);
        percent = full > 0.1 ? static_cast<int32_t>(charge / full * 100.0) : 0;
        commLog->LogInfo("Current battery charge is %7.2f (%d %%)", charge, static_cast<int>(percent));
    }
    return RETCODE_OK;
}

int32_t ZK110Driver::EraseFlash() {
    commLog->LogInfo("Attempting to erase flash...");
    Answer answer;
    for (uint32_t attempt = 1;; ++attempt) {
        // Erasing takes the counter a while: its answer gets the long time-out.
        uint32_t sendMs = 0;
        uint32_t peekMs = 0;
        uint32_t receiveMs = 0;
        link->GetTimeouts(&sendMs, &peekMs, &receiveMs);
        const int32_t eraseMs = properties->Number(PROPERTY_COMM_WAITAFTERRESETMS);
        link->SetTimeouts(sendMs, peekMs, eraseMs > 0 ? static_cast<uint32_t>(eraseMs) : 0);
        int32_t result = Request(":X", answer);
        link->SetTimeouts(sendMs, peekMs, receiveMs);
        if (result != RETCODE_OK) return result;

        if (std::strcmp(answer, ":Y") == 0) {
            commLog->LogInfo("Making sure that study FCODE is 0...");
            result = Request(":R:F", answer);
            if (result != RETCODE_OK) return result;
            if (std::strlen(answer) >= 3 && std::atol(answer + 2) == 0) break;
        }
        if (attempt == kEraseAttempts) {
            commLog->LogWarning("Received invalid response from the device");
            return RETCODE_ERR_ERASEMEMORY;
        }
        commLog->LogWarning("Retrying...");
    }
    commLog->LogInfo("Successfully erased flash");
    return RETCODE_OK;
}

int32_t ZK110Driver::PropertyValueText(const char* name, char* text, uint32_t size) {
    char value[PropertyStore::kWorkingSize];
    int32_t result = properties->Get(name, value, sizeof value, false);
    if (result != RETCODE_OK) return result;

    if (IsTextSetting(name)) {
        std::snprintf(text, size, " %s", value);
    } else if (std::strcmp(name, PROPERTY_STUDY_SPEEDBINS) == 0 || std::strcmp(name, PROPERTY_STUDY_LENGTHBINS) == 0) {
        HexBinList(value, text, size);
    } else if (std::strcmp(name, PROPERTY_STUDY_BEGINDATETIME) == 0 ||
               std::strcmp(name, PROPERTY_STUDY_ENDDATETIME) == 0) {
        DateTime time;
        DateTime::Parse(time, value);
        std::snprintf(text, size, "%02d%02d%02d%02d%02d", static_cast<int>(time.Year) - 2000,
                      static_cast<int>(time.Month), static_cast<int>(time.Day), static_cast<int>(time.Hour),
                      static_cast<int>(time.Minute));
    } else if (std::strcmp(name, PROPERTY_STUDY_RANGETIME) == 0) {
        // The range follows from the begin and the end, and is stored as sent.
        const int32_t minutes = DateTime::DiffSeconds(properties->Time(PROPERTY_STUDY_ENDDATETIME),
                                                      properties->Time(PROPERTY_STUDY_BEGINDATETIME)) /
                                60;
        char decimal[16];
        std::snprintf(decimal, sizeof decimal, "%ld", static_cast<long>(minutes));
        properties->Set(PROPERTY_STUDY_RANGETIME, decimal, false);
        std::snprintf(text, size, "%X", static_cast<unsigned>(minutes));
    } else {
        std::snprintf(text, size, "%X", static_cast<unsigned>(properties->Number(name)));
    }
    return RETCODE_OK;
}

int32_t ZK110Driver::WriteProperty(const char* name, const char* writeKey, const char* readKey) {
    char value[PropertyStore::kWorkingSize + 1];
    int32_t result = PropertyValueText(name, value, sizeof value);
    if (result == RETCODE_OK) {
        result = WriteAndReadBack("property", name, writeKey, readKey, value,
                                  "Newly written property value does not match what was supposed to be written!");
    }
    if (result != RETCODE_OK) return result;
    commLog->LogInfo("Successfully wrote property %s", name);
    return RETCODE_OK;
}

int32_t ZK110Driver::WriteStudy() {
    commLog->LogInfo("Attempting to set the study...");
    for (const StudySetting& setting : kStudySettings) {
        const int32_t result = WriteProperty(setting.property, setting.writeKey, setting.readKey);
        if (result != RETCODE_OK) return result;
    }
    int32_t result = SetClock(DateTime::Now());
    if (result != RETCODE_OK) return result;
    result = WriteValue("EnableReverseBins", ":G", ":G", "N");
    if (result != RETCODE_OK) return result;
    if (WriteValue("EnableSeqRecDateEncoding", ":Q", ":Q", ":s") != RETCODE_OK) {
        commLog->LogWarning(
            "Device did not accept serial record date encoding command. Probably it doesn't support it...");
    }
    commLog->LogInfo("Attempting to start the study...");
    result = SendCommand(":T");
    if (result != RETCODE_OK) return result;
    commLog->LogInfo("Successfully set the study!");
    return RETCODE_OK;
}

int32_t ZK110Driver::SetBatteryDischarge(bool start) {
    // The discharge stops by itself; nothing is sent.
    if (!start) return RETCODE_OK;
    Answer answer;
    const int32_t result = Request(":S:D", answer);
    if (result != RETCODE_OK) return result;
    if (std::strcmp(answer, ":N") == 0) {
        commLog->LogError("This device does not have discharge circuit");
        return RETCODE_ERR_NOTIMPLEMENTED;
    }
    if (std::strcmp(answer, ":Y") == 0) return RETCODE_OK;
    commLog->LogError("Received invalid response from the device to the discharge command");
    return RETCODE_ERR_BADRESPONSE;
}

}  // namespace tallyx

#include "drivers/modela/zk110_driver.h"

#include <cstdio>
#include <cstring>

#include <tallyx/tallyx.h>

#include "device/device_statistics.h"
#include "comm/comm_log.h"
#include "comm/port_link.h"
#include "comm/comm_port.h"
#include "drivers/modela/zk110_clock_text.h"
#include "drivers/modela/zk110_values.h"
#include "properties/property_store.h"

namespace tallyx {

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
    if (CommPort* port = link->Port()) port->Purge();
    commLog->LogInfo("Device <= %s", frame);
    int32_t result = link->Send(reinterpret_cast<const uint8_t*>(frame), length);
    if (result != RETCODE_OK) return result;
    commLog->Dump("OUT", reinterpret_cast<const uint8_t*>(frame), length, 1);
    return RETCODE_OK;
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
    commLog->LogInfo("Writing value: %s=%s", name, value);
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
        commLog->LogError("Received invalid response to write value command!");
        return RETCODE_ERR_SENDINGDATA;
    }

    commLog->LogInfo("Reading back value %s", name);
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
        commLog->LogError("Newly written value does not match what was supposed to be written!");
        return RETCODE_ERR_CONFIRMATION;
    }
    return RETCODE_OK;
}

int32_t ZK110Driver::SetClock(const DateTime& time) {
    char text[ZK110ClockText::kSize];
    ZK110ClockText::Format(time, text);
    return WriteValue("RealTimeClock", ":T", ":t", text);
}

}  // namespace tallyx

#include "drivers/modelb/zk220_driver.h"

#include <cstdio>
#include <cstring>

#include <tallyx/tallyx.h>

#include "device/device_statistics.h"
#include "comm/comm_log.h"
#include "comm/comm_port.h"
#include "comm/port_link.h"
#include "drivers/modelb/zk220_values.h"
#include "properties/property_store.h"

namespace tallyx {

namespace {

constexpr uint8_t kLineFeed = 0x0A;
// The counter's carriage return and line feed end every answer line.
constexpr uint32_t kAnswerEnding = 2;

constexpr CounterDriver::Rules kRules{.attempts = ZK220Driver::kAttempts,
                                       .promptIdleMs = ZK220Driver::kPromptIdleMs,
                                       .programFailed = "All %u retries to set study failed!",
                                       .dumpsStudySettings = false};

}  // namespace

ZK220Driver::ZK220Driver(const DriverParts& parts) : CounterDriver(kZK220Model, parts, kRules) {
    CreateValues<ZK220Values>();
}

ZK220Values& ZK220Driver::Values() { return static_cast<ZK220Values&>(*values); }

int32_t ZK220Driver::SendCommand(const char* command) {
    char line[kCounterLineCapacity];
    const int length = std::snprintf(line, sizeof line, "%s%c", command != nullptr ? command : "", kLineFeed);
    if (length < 0 || static_cast<uint32_t>(length) >= sizeof line) {
        commLog->LogError("Command is too long to be sent: %.64s", command);
        return RETCODE_ERR_SENDINGDATA;
    }
    DiscardLateAnswers(command != nullptr ? command : "");
    // The command whose answer may come late, should this exchange fail.
    if (!lateAnswerPossible_) std::snprintf(lateCommand_, sizeof lateCommand_, "%s", command != nullptr ? command : "");
    if (CommPort* port = link->Port()) port->Purge();
    commLog->LogInfo("Device <= %.*s", length - 1, line);
    const int32_t result = link->Send(reinterpret_cast<const uint8_t*>(line), static_cast<uint32_t>(length));
    if (result != RETCODE_OK) return result;
    commLog->Dump("OUT", reinterpret_cast<const uint8_t*>(line), static_cast<uint32_t>(length), 1);
    return RETCODE_OK;
}

void ZK220Driver::DiscardLateAnswers(const char* nextCommand) {
    // A command tried again gets the same answer, so a late one serves it as
    // well; a different command must not take it for its own. The counter
    // answers one command after the other, so the rest follows closely.
    if (!lateAnswerPossible_ || std::strcmp(nextCommand, lateCommand_) == 0) return;
    lateAnswerPossible_ = false;
    uint32_t sendMs = 0;
    uint32_t peekMs = 0;
    uint32_t receiveMs = 0;
    link->GetTimeouts(&sendMs, &peekMs, &receiveMs);
    const uint32_t dropped = link->DiscardUntilQuiet(peekMs, receiveMs);
    if (dropped > 0) {
        commLog->LogWarning("Dropped %lu bytes that came too late for %s", static_cast<unsigned long>(dropped),
                            lateCommand_);
    }
}

int32_t ZK220Driver::ReceiveLine(Answer& answer) {
    uint8_t received[kCounterLineCapacity];
    uint32_t count = 0;
    const int32_t result = link->ReceiveUntil(received, sizeof received, &count, kLineFeed);
    if (result != RETCODE_OK) {
        lateAnswerPossible_ = true;
        return result;
    }
    if (count > sizeof received) count = sizeof received;
    commLog->Dump("IN", received, count, 1);

    // A full line cut at the buffer's end loses its last two bytes all the
    // same; a line of fewer than two bytes leaves nothing.
    const uint32_t length = count > kAnswerEnding ? count - kAnswerEnding : 0;
    std::memcpy(answer, received, length);
    answer[length] = '\0';
    commLog->LogInfo("Device => %s", answer);
    return RETCODE_OK;
}

int32_t ZK220Driver::ReceiveBinary(uint8_t* destination, uint32_t count) {
    uint32_t received = 0;
    const int32_t result = link->ReceiveExact(destination, count, &received, count);
    if (result != RETCODE_OK) {
        lateAnswerPossible_ = true;
        return result;
    }
    commLog->LogInfo("Device => binary data of %lu bytes", static_cast<unsigned long>(count));
    return RETCODE_OK;
}

int32_t ZK220Driver::ExchangeOnce(const char* command, Answer& answer) {
    const int32_t result = SendCommand(command);
    if (result != RETCODE_OK) return result;
    Pause(requestDelayMs);
    return ReceiveLine(answer);
}

int32_t ZK220Driver::Query(const char* command, Answer& answer) {
    const int32_t result = Request(command, answer);
    if (result != RETCODE_OK) return result;
    if (answer[0] != 'Y') return RETCODE_ERR_READ;
    return ReceiveLine(answer);
}

int32_t ZK220Driver::ReceiveWakeUp() {
    lateAnswerPossible_ = false;  // a new opening of the port hears nothing of the old one
    uint8_t line[kCounterLineCapacity];
    uint32_t received = 0;
    const int32_t result = link->ReceiveUntil(line, sizeof line, &received, kLineFeed);
    if (result != RETCODE_OK) {
        commLog->LogInfo("Failed to receive response from the device: Error=%ld", static_cast<long>(result));
        return result;
    }
    return RETCODE_OK;
}

}  // namespace tallyx

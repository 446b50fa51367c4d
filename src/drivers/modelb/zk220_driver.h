#pragma once
// The driver of the model B counter (ZK220): one command word per line, text
// answers (an acknowledgement, and a data line for queries), and the recorded
// vehicles as raw 8-byte records.
#include <cstdint>

#include "drivers/counter_driver.h"
#include "drivers/modelb/zk220_model.h"

namespace tallyx {

class ZK220Values;

class ZK220Driver : public CounterDriver {
public:
    // Every exchange is tried this often before its error is returned.
    static constexpr uint32_t kAttempts = 3;
    // More records than this cannot be one study: its time offsets span at
    // most 2^24 seconds, and one vehicle a second over all of it is far
    // beyond real traffic. A larger count is refused before any allocation.
    static constexpr int32_t kMostRecords = 1 << 24;
    // The user area is written in pieces that fill a line to this many
    // characters; the closing quote comes after them.
    static constexpr uint32_t kUserAreaLine = 250;
    // What blocks 0 to 3 carry of the document, which is all a read gets back.
    static constexpr uint32_t kReadableUserArea = kZK220UserAreaBlocks * 235;
    // A low-battery prompt answered later than this may have let the counter
    // fall asleep.
    static constexpr uint32_t kPromptIdleMs = 8000;

    explicit ZK220Driver(const DriverParts& parts);

    ZK220Values& Values();

    // ---- exchanges with the counter
    // Sends the command and its line feed, after emptying both queues.
    int32_t SendCommand(const char* command);
    // Receives one answer line; answer gets it without its last two bytes
    // (the counter's carriage return and line feed). A line of fewer than two
    // bytes gives the empty text.
    int32_t ReceiveLine(Answer& answer);
    // Receives exactly count bytes into destination.
    int32_t ReceiveBinary(uint8_t* destination, uint32_t count);
    // A request that must be acknowledged, then its data line into answer.
    int32_t Query(const char* command, Answer& answer);

    // ---- reading
    int32_t ReadStudyInfo();
    // Downloads every record into records. On an error nothing is left allocated.
    int32_t DownloadRecords(RecordBuffer& records);

    // ---- writing
    int32_t EraseUserArea();
    int32_t SetClock();
    int32_t SendStudyProgram();
    int32_t WriteUserArea();
    // The user-area document of the study properties into document (size
    // bytes); false when it does not fit.
    bool BuildUserArea(char* document, uint32_t size) const;
    // Refuses a study whose user area a later read could not bring back:
    // texts with angle brackets, or a document longer than the blocks a read
    // fetches. 0, RETCODE_ERR_INVALIDPROPERTYVALUE or RETCODE_ERR_BUFFERTOOSMALL.
    int32_t CheckUserAreaReadable();

protected:
    int32_t ReadDeviceInfo() override;
    int32_t ReadEverything() override;
    int32_t CheckStudyBeforeSending() override { return CheckUserAreaReadable(); }
    int32_t ReadBatteryPercent(int32_t& percent) override;
    // The five programming steps.
    int32_t ProgramOnce() override;
    int32_t SetBatteryDischarge(bool start) override;
    // SendCommand, the pause between requests, and ReceiveLine: answer gets the first answer line.
    int32_t ExchangeOnce(const char* command, Answer& answer) override;
    int32_t ReceiveWakeUp() override;

private:
    // Query with the log line before it, the answer going to the values object.
    int32_t QueryField(const char* info, const char* command, Answer& answer);
    int32_t QueryStudyInfo(const char* info);
    int32_t StopStudy();
    int32_t ReadUserArea();
    // One chunk of records into destination, with its attempts.
    int32_t RequestChunk(uint32_t first, uint32_t count, uint8_t* destination);
    // A request that must be acknowledged.
    int32_t Command(const char* command);
    // Drops what the counter still sends for a command whose exchange failed,
    // once a different command is about to go out.
    void DiscardLateAnswers(const char* nextCommand);

    // A receive failed: the counter may still answer that command later.
    bool lateAnswerPossible_ = false;
    char lateCommand_[kCounterLineCapacity] = {};
};

}  // namespace tallyx

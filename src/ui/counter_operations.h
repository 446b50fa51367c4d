#pragma once
// The work the application does with counters: probing, reading, programming
// and the battery discharge, each on a thread of its own, one operation per
// port at a time. An operation outlives the page that started it: any page can
// ask what runs, follow its progress, answer its low-battery question or
// cancel it (between two exchanges with the counter, as Ctrl-C does).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "json/json_value.h"
#include "study/study_file.h"
#include "ui/change_feed.h"

namespace tallyx::ui {

// What the last probe or operation learnt of the counter on a port.
struct CounterFacts {
    bool known = false;
    std::string model, unitType, serial, firmware, batteryVoltage, batteryPercent, begin, end;  // begin and end of its study
    std::string checkedAt;  // local time of the machine
    std::string problem;    // when no counter answered: why
};

enum class OperationKind { kProbe, kRead, kProgram, kDischargeStart, kDischargeStop };
enum class OperationState { kRunning, kQuestion, kDone, kFailed, kCancelled };

struct OperationsOptions {
    std::string archive;   // --archive FILE; empty: $TALLYX_ARCHIVE or the user's
    std::string program;   // what the archive records as the reading program
};

class CounterOperations {
public:
    explicit CounterOperations(OperationsOptions options);
    ~CounterOperations();
    CounterOperations(const CounterOperations&) = delete;
    CounterOperations& operator=(const CounterOperations&) = delete;

    enum class Start { kStarted, kBusy, kStopping };
    Start Probe(uint32_t com);
    Start Read(uint32_t com, bool metric);
    Start Program(uint32_t com, study::StudySettings settings);
    Start Discharge(uint32_t com, bool start);
    // False when nothing runs on the port.
    bool Cancel(uint32_t com);
    // The answer to the low-battery question; false when none is asked.
    bool Answer(uint32_t com, bool proceed);

    // Every port's operation and counter facts, and the version they have.
    json::Value Snapshot() const;
    uint64_t Version() const { return version_.load(); }
    ChangeFeed& Feed() { return feed_; }
    // The kind of operation that runs on the port ("read"...), or "" when none does.
    std::string Busy(uint32_t com) const;

    // Cancels every operation and waits for each to stop; nothing new starts afterwards.
    void StopAll();

private:
    struct Slot;
    Start Launch(uint32_t com, OperationKind kind, study::StudySettings settings, bool metric);
    void Work(Slot& slot, OperationKind kind, study::StudySettings settings, bool metric);
    void Changed();

    OperationsOptions options_;
    mutable std::mutex lock_;
    std::map<uint32_t, std::unique_ptr<Slot>> slots_;
    bool stopping_ = false;
    uint64_t nextId_ = 1;
    std::atomic<uint64_t> version_{1};
    ChangeFeed feed_;
};

const char* KindName(OperationKind kind);

}  // namespace tallyx::ui

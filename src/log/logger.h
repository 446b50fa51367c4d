#pragma once
// A queued, threaded logger: any thread hands it printf-style messages, which it stamps and
// queues at once; its worker thread passes them to every attached target in order.
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "log/log_record.h"
#include "log/log_target.h"
#include "log/perf_timer.h"
#include "platform/calendar_time.h"

namespace tallyx {

class Logger {
public:
    Logger();
    // Stops the worker if it still runs (writing out the queue), detaches the remaining targets
    // from this logger; targets are not owned and must outlive the logger or be removed first.
    ~Logger();

    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // Starts the logger; only the first call counts. Threaded: messages go through the queue
    // to the worker thread. Otherwise each message is written on the caller's thread.
    void Start(bool threaded);

    // Writes out everything already accepted (the worker drains the queue, then whatever is
    // left is written on the calling thread) and ends the worker. Later messages are dropped.
    void Stop();

    // Queues a message of a type (0 to 3) and level; the text is a printf format. Dropped when
    // the logger is not running or the level is above every target's threshold for the type.
    // Never waits for a disk.
    void Log(int32_t type, uint32_t level, const char* format, ...) __attribute__((format(printf, 4, 5)));
    void LogV(int32_t type, uint32_t level, const char* format, va_list arguments);

    // Attaches a target (not owned) and returns its index; -1 for a null target.
    int AddTarget(LogTarget* target);
    // The target at an index, or null.
    LogTarget* GetTarget(int index);
    // Detaches every occurrence of a target.
    void RemoveTarget(LogTarget* target);

    // Recomputes the combined line options and thresholds from all targets; targets call it
    // when their settings change.
    void Recompute();

    // The clock that stamps messages; meant to be set before Start.
    void SetClock(CalendarClock clock);

    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool IsStarted() const { return started_.load(); }
    size_t QueueLength() const;
    size_t TargetCount() const;
    uint32_t CombinedOptions() const;
    uint32_t CombinedThreshold(int32_t type) const;

private:
    void WorkerLoop();
    // The caller holds targetsLock_.
    void DispatchLocked(const LogRecord& record);
    void ResetCombinedLocked();

    PerfTimer timer_;
    int32_t processId_ = 0;
    std::thread worker_;
    bool everStarted_ = false;  // under targetsLock_
    std::atomic<bool> threaded_{false};
    std::atomic<bool> started_{false};
    std::atomic<bool> enabled_{true};

    // Lock order, always: targetsLock_, then settingsLock_, then a target's lock.
    // queueMutex_ is taken alone, or while holding targetsLock_ in Start and Stop.
    mutable std::mutex targetsLock_;
    std::vector<LogTarget*> targets_;

    mutable std::mutex settingsLock_;
    uint32_t options_ = 0;
    uint32_t thresholds_[kLogTypeCount] = {};
    CalendarClock clock_;

    mutable std::mutex queueMutex_;
    std::condition_variable queueNotEmpty_;
    std::deque<std::unique_ptr<LogRecord>> queue_;
    bool stopRequested_ = false;
    bool accepting_ = false;  // whether the queue takes records; under queueMutex_
};

}  // namespace tallyx

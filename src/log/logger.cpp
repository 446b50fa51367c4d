#include "log/logger.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <system_error>
#include <utility>

#include "platform/process_ids.h"

namespace tallyx {

Logger::Logger() : clock_(LocalCalendarTimeNow) { ResetCombinedLocked(); }

Logger::~Logger() {
    Stop();
    std::lock_guard<std::mutex> guard(targetsLock_);
    for (LogTarget* target : targets_) {
        Logger* self = this;
        target->owner_.compare_exchange_strong(self, nullptr);
    }
    targets_.clear();
}

void Logger::Start(bool threaded) {
    std::lock_guard<std::mutex> targetsGuard(targetsLock_);
    if (everStarted_) {
        return;
    }
    everStarted_ = true;
    timer_.Start(0);
    processId_ = CurrentProcessId();
    {
        std::lock_guard<std::mutex> queueGuard(queueMutex_);
        stopRequested_ = false;  // a Stop before the first Start must not end the new worker
    }
    if (threaded) {
        try {
            worker_ = std::thread(&Logger::WorkerLoop, this);
            threaded_ = true;
        } catch (const std::system_error&) {
            // No thread to be had: write each message on the caller's thread instead.
            threaded_ = false;
        }
    }
    std::lock_guard<std::mutex> queueGuard(queueMutex_);
    accepting_ = true;
    started_ = true;
}

void Logger::Stop() {
    std::unique_lock<std::mutex> targetsGuard(targetsLock_);
    {
        std::lock_guard<std::mutex> queueGuard(queueMutex_);
        started_ = false;
        accepting_ = false;  // from here on nothing more enters the queue
        stopRequested_ = true;
    }
    queueNotEmpty_.notify_all();
    std::thread worker = std::move(worker_);
    if (worker.joinable()) {
        // The worker needs targetsLock_ to write what it still holds.
        targetsGuard.unlock();
        worker.join();
        targetsGuard.lock();
    }
    // Whatever the worker did not take is written here, in order.
    for (;;) {
        std::unique_ptr<LogRecord> record;
        {
            std::lock_guard<std::mutex> queueGuard(queueMutex_);
            if (queue_.empty()) {
                break;
            }
            record = std::move(queue_.front());
            queue_.pop_front();
        }
        DispatchLocked(*record);
    }
}

void Logger::Log(int32_t type, uint32_t level, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    LogV(type, level, format, arguments);
    va_end(arguments);
}

void Logger::LogV(int32_t type, uint32_t level, const char* format, va_list arguments) {
    if (!enabled_ || !started_ || type < 0 || type >= kLogTypeCount) {
        return;
    }
    std::unique_ptr<LogRecord> record;
    uint32_t options;
    {
        std::lock_guard<std::mutex> guard(settingsLock_);
        if (level > thresholds_[type]) {
            return;
        }
        options = options_;
        record.reset(new (std::nothrow) LogRecord());
        if (!record) {
            return;
        }
        if ((options & (kLogShowDate | kLogShowTime)) != 0 && clock_) {
            record->time = clock_();
        }
    }
    if (format != nullptr) {
        std::vsnprintf(record->text, sizeof record->text, format, arguments);
    }
    record->type = type;
    record->level = level;
    record->processId = processId_;
    record->options = options;
    if (options & kLogShowSeconds) {
        record->seconds = timer_.Elapsed(0);
    }
    if (options & kLogShowThreadId) {
        record->threadId = CurrentThreadId();
    }

    if (!threaded_) {
        std::lock_guard<std::mutex> guard(targetsLock_);
        if (started_) {
            DispatchLocked(*record);
        }
        return;
    }
    {
        std::lock_guard<std::mutex> guard(queueMutex_);
        if (!accepting_) {
            return;  // stopped meanwhile
        }
        try {
            queue_.push_back(std::move(record));
        } catch (const std::bad_alloc&) {
            return;  // no room for the node: the message is dropped
        }
    }
    queueNotEmpty_.notify_one();
}

void Logger::WorkerLoop() {
    for (;;) {
        std::unique_ptr<LogRecord> record;
        {
            std::unique_lock<std::mutex> guard(queueMutex_);
            // The stop request only counts once the queue is empty.
            queueNotEmpty_.wait(guard, [this] { return !queue_.empty() || stopRequested_; });
            if (queue_.empty()) {
                return;
            }
            record = std::move(queue_.front());
            queue_.pop_front();
        }
        std::lock_guard<std::mutex> guard(targetsLock_);
        DispatchLocked(*record);
    }
}

void Logger::DispatchLocked(const LogRecord& record) {
    for (LogTarget* target : targets_) {
        target->Write(record);
    }
}

int Logger::AddTarget(LogTarget* target) {
    if (target == nullptr) {
        return -1;
    }
    std::lock_guard<std::mutex> targetsGuard(targetsLock_);
    {
        std::lock_guard<std::mutex> settingsGuard(settingsLock_);
        std::lock_guard<std::mutex> targetGuard(target->lock_);
        options_ |= target->options_;
        for (int32_t type = 0; type < kLogTypeCount; ++type) {
            thresholds_[type] =
                targets_.empty() ? target->thresholds_[type] : std::max(thresholds_[type], target->thresholds_[type]);
        }
    }
    target->owner_ = this;
    const size_t count = targets_.size();
    if (count == targets_.capacity()) {
        const size_t needed = count + 1;
        targets_.reserve(needed + (needed < 20 ? 5 : needed < 50 ? 10 : 25));
    }
    targets_.push_back(target);
    return static_cast<int>(count);
}

LogTarget* Logger::GetTarget(int index) {
    std::lock_guard<std::mutex> guard(targetsLock_);
    if (index < 0 || static_cast<size_t>(index) >= targets_.size()) {
        return nullptr;
    }
    return targets_[static_cast<size_t>(index)];
}

void Logger::RemoveTarget(LogTarget* target) {
    if (target == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(targetsLock_);
        const auto removed = std::remove(targets_.begin(), targets_.end(), target);
        if (removed == targets_.end()) {
            return;
        }
        targets_.erase(removed, targets_.end());
        Logger* self = this;
        target->owner_.compare_exchange_strong(self, nullptr);
    }
    Recompute();
}

void Logger::Recompute() {
    std::lock_guard<std::mutex> targetsGuard(targetsLock_);
    std::lock_guard<std::mutex> settingsGuard(settingsLock_);
    ResetCombinedLocked();
    bool first = true;
    for (LogTarget* target : targets_) {
        std::lock_guard<std::mutex> targetGuard(target->lock_);
        options_ |= target->options_;
        for (int32_t type = 0; type < kLogTypeCount; ++type) {
            thresholds_[type] = first ? target->thresholds_[type] : std::max(thresholds_[type], target->thresholds_[type]);
        }
        first = false;
    }
}

void Logger::ResetCombinedLocked() {
    // Without targets no piece is shown and the thresholds fall back to the targets' default.
    options_ = 0;
    for (uint32_t& threshold : thresholds_) {
        threshold = LogTarget::kDefaultThreshold;
    }
}

void Logger::SetClock(CalendarClock clock) {
    std::lock_guard<std::mutex> guard(settingsLock_);
    clock_ = std::move(clock);
}

size_t Logger::QueueLength() const {
    std::lock_guard<std::mutex> guard(queueMutex_);
    return queue_.size();
}

size_t Logger::TargetCount() const {
    std::lock_guard<std::mutex> guard(targetsLock_);
    return targets_.size();
}

uint32_t Logger::CombinedOptions() const {
    std::lock_guard<std::mutex> guard(settingsLock_);
    return options_;
}

uint32_t Logger::CombinedThreshold(int32_t type) const {
    if (type < 0 || type >= kLogTypeCount) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(settingsLock_);
    return thresholds_[type];
}

}  // namespace tallyx

// The queued logger: what it accepts, what reaches the targets, and what happens at stop.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "log/log_target.h"
#include "log/logger.h"
#include "support/calendar_time_of.h"

namespace tallyx {
namespace {

// Keeps every record the logger hands over, filtered or not, and the formatted lines of the
// ones it accepts.
class RecordingTarget : public LogTarget {
public:
    explicit RecordingTarget(std::chrono::microseconds delay = std::chrono::microseconds(0)) : delay_(delay) {}

    void GetName(char* buffer, size_t size) const override { CopyName("Recording Target", buffer, size); }

    int32_t Write(const LogRecord& record) override {
        if (delay_.count() > 0) {
            std::this_thread::sleep_for(delay_);
        }
        std::lock_guard<std::mutex> guard(mutex_);
        records_.push_back(record);
        threads_.push_back(std::this_thread::get_id());
        if (Accept(record)) {
            char line[kLineSize];
            FormatLine(line, sizeof line, record);
            lines_.emplace_back(line);
        }
        return 0;
    }

    std::vector<LogRecord> Records() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return records_;
    }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return lines_;
    }
    std::vector<std::thread::id> Threads() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return threads_;
    }

private:
    std::chrono::microseconds delay_;
    mutable std::mutex mutex_;
    std::vector<LogRecord> records_;
    std::vector<std::string> lines_;
    std::vector<std::thread::id> threads_;
};

// Saturday 2009-03-07 14:05:09.042.
CalendarTime FixedTime() { return test::CalendarTimeOf(2009, 3, 7, 14, 5, 9, 42, 6); }

TEST(LoggerMessages, PercentIsAFormatButArgumentsPassUnchanged) {
    RecordingTarget target;
    target.SetOptions(kLogShowType);
    Logger logger;
    logger.AddTarget(&target);
    logger.Start(true);
    logger.Log(kLogInfo, 0, "100%% done");
    logger.Log(kLogInfo, 0, "%s", "study 50% %s %d %n");
    logger.Log(kLogError, 0, "Opening RS232 port %s", "COM3");
    logger.Stop();
    const std::vector<std::string> lines = target.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "[I] [100% done] \r\n");
    EXPECT_EQ(lines[1], "[I] [study 50% %s %d %n] \r\n");
    EXPECT_EQ(lines[2], "[E] [Opening RS232 port COM3] \r\n");
}

TEST(LoggerMessages, LongTextIsCutTo1023Characters) {
    RecordingTarget target;
    Logger logger;
    logger.AddTarget(&target);
    logger.Start(false);
    const std::string text(5000, 'x');
    logger.Log(kLogInfo, 0, "%s", text.c_str());
    logger.Stop();
    const std::vector<LogRecord> records = target.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::string(records[0].text), std::string(1023, 'x'));
}

TEST(LoggerMessages, LevelAboveEveryThresholdIsDroppedBeforeQueueing) {
    RecordingTarget target;
    Logger logger;
    logger.AddTarget(&target);
    logger.Start(true);
    logger.Log(kLogInfo, 2, "too detailed");
    logger.Log(kLogInfo, 1, "detailed enough");
    logger.Log(kLogInfo, 0, "important");
    logger.Log(-1, 0, "no such type");
    logger.Log(kLogTypeCount, 0, "no such type");
    logger.Stop();
    const std::vector<LogRecord> records = target.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].text, "detailed enough");
    EXPECT_STREQ(records[1].text, "important");
}

TEST(LoggerMessages, StampsOnlyWhatSomeTargetShows) {
    RecordingTarget target;
    target.SetOptions(0);
    Logger logger;
    logger.SetClock(FixedTime);
    logger.AddTarget(&target);
    logger.Start(false);
    logger.Log(kLogInfo, 0, "bare");
    target.SetOptions(kLogShowTime | kLogShowSeconds | kLogShowThreadId | kLogShowProcessId);
    logger.Log(kLogWarning, 1, "stamped");
    logger.Stop();

    const std::vector<LogRecord> records = target.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].time.year, 0);
    EXPECT_EQ(records[0].threadId, 0);
    EXPECT_EQ(records[0].seconds, 0.0);
    EXPECT_NE(records[0].processId, 0);
    EXPECT_EQ(records[0].options, 0u);

    EXPECT_EQ(records[1].type, kLogWarning);
    EXPECT_EQ(records[1].level, 1u);
    EXPECT_EQ(records[1].time.year, 2009);
    EXPECT_EQ(records[1].time.milliseconds, 42);
    EXPECT_NE(records[1].threadId, 0);
    EXPECT_GT(records[1].seconds, 0.0);
    EXPECT_EQ(records[1].options, 0x01C2u);
    EXPECT_EQ(target.Lines()[1].substr(0, 15), "[14:05:09.042] ");
}

TEST(LoggerLifecycle, NothingIsAcceptedBeforeStartOrAfterStop) {
    RecordingTarget target;
    Logger logger;
    logger.AddTarget(&target);
    logger.Log(kLogInfo, 0, "before start");
    logger.Start(true);
    logger.Start(true);  // a second start changes nothing
    logger.Log(kLogInfo, 0, "while running");
    logger.Stop();
    logger.Log(kLogInfo, 0, "after stop");
    logger.Stop();
    EXPECT_FALSE(logger.IsStarted());
    const std::vector<LogRecord> records = target.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].text, "while running");
}

TEST(LoggerLifecycle, StopWritesOutEverythingQueuedInOrder) {
    // A slow target makes sure the queue is still full when Stop comes.
    RecordingTarget target(std::chrono::microseconds(200));
    Logger logger;
    logger.AddTarget(&target);
    logger.Start(true);
    constexpr int kCount = 500;
    for (int i = 0; i < kCount; ++i) {
        logger.Log(kLogInfo, 0, "message %d", i);
    }
    logger.Stop();
    EXPECT_EQ(logger.QueueLength(), 0u);
    const std::vector<LogRecord> records = target.Records();
    ASSERT_EQ(records.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(std::string(records[i].text), "message " + std::to_string(i));
    }
}

TEST(LoggerLifecycle, WorkerWritesWhileRunningAndCallerDoesNotWait) {
    RecordingTarget target;
    Logger logger;
    logger.AddTarget(&target);
    logger.Start(true);
    logger.Log(kLogInfo, 0, "one");
    for (int i = 0; i < 2000 && target.Records().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::vector<std::thread::id> threads = target.Threads();
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(threads[0], std::this_thread::get_id());
    logger.Stop();
}

TEST(LoggerLifecycle, UnthreadedLoggerWritesOnTheCallersThread) {
    RecordingTarget target;
    Logger logger;
    logger.AddTarget(&target);
    logger.Start(false);
    logger.Log(kLogInfo, 0, "now");
    ASSERT_EQ(target.Records().size(), 1u);
    EXPECT_EQ(target.Threads()[0], std::this_thread::get_id());
    logger.Stop();
}

TEST(LoggerLifecycle, ManyThreadsLoggingWhileStopComesLoseNothingAccepted) {
    RecordingTarget target;
    Logger logger;
    logger.AddTarget(&target);
    logger.Start(true);
    constexpr int kThreads = 4;
    constexpr int kPerThread = 300;
    std::atomic<int> running{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++running;
            for (int i = 0; i < kPerThread; ++i) {
                logger.Log(kLogInfo, 0, "%d %d", t, i);
            }
        });
    }
    while (running < kThreads) {
        std::this_thread::yield();
    }
    logger.Stop();
    for (std::thread& thread : threads) {
        thread.join();
    }
    // Whatever each thread got in before the stop arrived, in its own order and without gaps.
    std::vector<int> next(kThreads, 0);
    for (const LogRecord& record : target.Records()) {
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(record.text, "%d %d", &t, &i), 2);
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(i, next[t]);
        next[t] = i + 1;
    }
}

TEST(LoggerLifecycle, DestructorStopsARunningWorker) {
    RecordingTarget target;
    {
        Logger logger;
        logger.AddTarget(&target);
        logger.Start(true);
        logger.Log(kLogInfo, 0, "last words");
    }
    EXPECT_EQ(target.Records().size(), 1u);
    EXPECT_EQ(target.Owner(), nullptr);
}

TEST(LoggerTargets, CombinedOptionsAndThresholdsFollowTheTargets) {
    RecordingTarget first;
    RecordingTarget second;
    first.SetOptions(kLogShowTime);
    second.SetOptions(kLogShowProcessId);
    second.SetThreshold(kLogError, 5);
    Logger logger;
    EXPECT_EQ(logger.AddTarget(&first), 0);
    EXPECT_EQ(logger.AddTarget(&second), 1);
    EXPECT_EQ(logger.AddTarget(nullptr), -1);
    EXPECT_EQ(logger.CombinedOptions(), kLogShowTime | kLogShowProcessId);
    EXPECT_EQ(logger.CombinedThreshold(kLogError), 5u);
    EXPECT_EQ(logger.CombinedThreshold(kLogInfo), 1u);
    EXPECT_EQ(first.Owner(), &logger);

    second.SetOptions(kLogShowDate);
    EXPECT_EQ(logger.CombinedOptions(), kLogShowTime | kLogShowDate);

    logger.RemoveTarget(&second);
    EXPECT_EQ(logger.CombinedOptions(), kLogShowTime);
    EXPECT_EQ(logger.CombinedThreshold(kLogError), 1u);
    EXPECT_EQ(second.Owner(), nullptr);
    second.SetOptions(kLogShowLevel);  // no longer reaches the logger
    EXPECT_EQ(logger.CombinedOptions(), kLogShowTime);

    EXPECT_EQ(logger.GetTarget(0), &first);
    EXPECT_EQ(logger.GetTarget(1), nullptr);
    EXPECT_EQ(logger.GetTarget(-1), nullptr);
}

TEST(LoggerTargets, EveryTargetGetsEachRecordAndDuplicatesAreRemovedTogether) {
    RecordingTarget first;
    RecordingTarget second;
    Logger logger;
    logger.AddTarget(&first);
    logger.AddTarget(&second);
    logger.AddTarget(&first);
    logger.Start(false);
    logger.Log(kLogInfo, 0, "to all");
    logger.RemoveTarget(&first);
    EXPECT_EQ(logger.TargetCount(), 1u);
    logger.Log(kLogInfo, 0, "to second");
    logger.Stop();
    EXPECT_EQ(first.Records().size(), 2u);
    EXPECT_EQ(second.Records().size(), 2u);
}

TEST(PerfTimerSlots, RunsFromStartAndIgnoresUnknownSlots) {
    PerfTimer timer;
    EXPECT_EQ(timer.Elapsed(0), 0.0);
    timer.Start(3);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const double first = timer.Elapsed(3);
    EXPECT_GE(first, 0.002);
    EXPECT_GE(timer.Elapsed(3), first);
    timer.Start(10);
    EXPECT_EQ(timer.Elapsed(10), 0.0);
    EXPECT_EQ(timer.Elapsed(-1), 0.0);
}

}  // namespace
}  // namespace tallyx

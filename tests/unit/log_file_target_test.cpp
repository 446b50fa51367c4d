// The file target: file names, which files are continued or restarted, size limits, and the
// whole path from Logger::Log to the file.
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "log/log_file_target.h"
#include "log/logger.h"
#include "platform/calendar_time.h"
#include "support/calendar_time_of.h"

namespace tallyx {
namespace {

namespace fs = std::filesystem;

// A clock that runs with the real time but can be moved whole days or hours ahead, so that
// files created now look like files of an earlier day.
struct MovableClock {
    long offsetSeconds = 0;
    CalendarTime Now() const {
        return LocalCalendarTimeAt(static_cast<int64_t>(std::time(nullptr)) + offsetSeconds, 0);
    }
    CalendarClock AsClock() {
        return [this] { return Now(); };
    }
};

constexpr long kDay = 24L * 60 * 60;

class LogFileTargetTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tallyx-log-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        folder_ = (fs::path(root_) / "logs").string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void Put(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    static LogRecord Message(const std::string& text) {
        LogRecord record;
        std::snprintf(record.text, sizeof record.text, "%s", text.c_str());
        return record;
    }
    // A target writing bare lines ("[text] \r\n") through the movable clock.
    void Setup(LogFileTarget& target, uint32_t nameOptions, uint32_t maxSize,
               const char* baseName = "tallyx") {
        target.SetOptions(0);
        target.SetClock(clock_.AsClock());
        target.Configure(folder_.c_str(), nameOptions, baseName, maxSize);
    }
    std::string NameFor(const LogFileTarget& target, int32_t sequence) const {
        return target.FileNameFor(sequence, clock_.Now());
    }

    std::string root_;
    std::string folder_;
    MovableClock clock_;
};

CalendarTime Saturday() { return test::CalendarTimeOf(2009, 3, 7, 14, 0, 0, 0, 6); }

TEST_F(LogFileTargetTest, NamesCarryTheChosenPiecesInFixedOrder) {
    LogFileTarget target;
    target.Configure("/var/logs", LogFileTarget::kNameDate, "tallyx", LogFileTarget::kNoSizeLimit);
    EXPECT_EQ(target.Sequence(), -1);
    EXPECT_EQ(target.FileNameFor(-1, Saturday()), "/var/logs/tallyx_2009-03-07.log");

    target.Configure("/var/logs/", LogFileTarget::kNameWeekday | LogFileTarget::kNameHour, "tallyx", 1000);
    EXPECT_EQ(target.Sequence(), 1);
    EXPECT_EQ(target.FileNameFor(2, Saturday()), "/var/logs/tallyx_SAT_14_2.log");

    target.Configure(nullptr, 0x0007, nullptr, LogFileTarget::kNoSizeLimit);
    EXPECT_EQ(target.FileNameFor(-1, Saturday()), "2009-03-07_SAT_14.log");

    target.Configure("d", 0, "base", LogFileTarget::kNoSizeLimit);
    EXPECT_EQ(target.FileNameFor(-1, Saturday()), "d/base.log");
    // Without any time piece a limit still numbers the files.
    EXPECT_EQ(target.FileNameFor(3, Saturday()), "d/base_3.log");
}

TEST_F(LogFileTargetTest, OverlongNamesAreNotUsed) {
    LogFileTarget target;
    const std::string longFolder = root_ + "/" + std::string(300, 'f');
    target.Configure(longFolder.c_str(), LogFileTarget::kNameDate, "tallyx", LogFileTarget::kNoSizeLimit);
    EXPECT_EQ(target.FileNameFor(-1, Saturday()), "");
    EXPECT_EQ(target.Write(Message("x")), kLogWriteFailed);
    EXPECT_FALSE(target.IsFileOpen());
}

TEST_F(LogFileTargetTest, FirstMessageOfADayCreatesTheDatedFile) {
    LogFileTarget target;
    Setup(target, LogFileTarget::kNameDate, LogFileTarget::kNoSizeLimit);
    EXPECT_TRUE(fs::is_directory(folder_));
    ASSERT_EQ(target.Write(Message("first")), 0);
    ASSERT_EQ(target.Write(Message("second 100%")), 0);
    const CalendarTime today = clock_.Now();
    char expected[64];
    std::snprintf(expected, sizeof expected, "/tallyx_%04u-%02u-%02u.log", unsigned{today.year},
                  unsigned{today.month}, unsigned{today.day});
    EXPECT_EQ(target.CurrentFileName(), folder_ + expected);
    EXPECT_EQ(Read(folder_ + expected), "[first] \r\n[second 100%] \r\n");

    char name[512];
    target.GetName(name, sizeof name);
    EXPECT_EQ(std::string(name), "Log File Target: " + folder_ + expected);
}

TEST_F(LogFileTargetTest, NextDayStartsANewFileAndLeavesTheOldOne) {
    LogFileTarget target;
    Setup(target, LogFileTarget::kNameDate, LogFileTarget::kNoSizeLimit);
    ASSERT_EQ(target.Write(Message("today")), 0);
    const std::string todayFile = target.CurrentFileName();
    clock_.offsetSeconds = kDay;
    ASSERT_EQ(target.Write(Message("tomorrow")), 0);
    EXPECT_NE(target.CurrentFileName(), todayFile);
    EXPECT_EQ(Read(todayFile), "[today] \r\n");
    EXPECT_EQ(Read(target.CurrentFileName()), "[tomorrow] \r\n");
}

TEST_F(LogFileTargetTest, WeekdayFileFromLastWeekIsRestartedButTodaysIsContinued) {
    {
        LogFileTarget earlier;
        Setup(earlier, LogFileTarget::kNameWeekday, LogFileTarget::kNoSizeLimit);
        ASSERT_EQ(earlier.Write(Message("earlier today")), 0);
    }
    LogFileTarget target;
    Setup(target, LogFileTarget::kNameWeekday, LogFileTarget::kNoSizeLimit);
    ASSERT_EQ(target.Write(Message("later today")), 0);
    const std::string name = target.CurrentFileName();
    EXPECT_EQ(Read(name), "[earlier today] \r\n[later today] \r\n");

    // A week on, the same weekday name belongs to a file of last week.
    clock_.offsetSeconds = 7 * kDay;
    ASSERT_EQ(target.Write(Message("next week")), 0);
    EXPECT_EQ(target.CurrentFileName(), name);
    EXPECT_EQ(Read(name), "[next week] \r\n");
}

TEST_F(LogFileTargetTest, StaleFileFoundAtTheFirstWriteIsRestarted) {
    LogFileTarget target;
    Setup(target, LogFileTarget::kNameWeekday, LogFileTarget::kNoSizeLimit);
    clock_.offsetSeconds = 7 * kDay;
    const std::string name = NameFor(target, -1);
    Put(name, "old lines\r\n");  // created today, so a week before the clock's day
    ASSERT_EQ(target.Write(Message("fresh")), 0);
    EXPECT_EQ(Read(name), "[fresh] \r\n");
}

TEST_F(LogFileTargetTest, FilesWithoutTimeInTheNameAreAlwaysContinued) {
    LogFileTarget target;
    Setup(target, 0, LogFileTarget::kNoSizeLimit);
    const std::string name = NameFor(target, -1);
    Put(name, "kept\r\n");
    clock_.offsetSeconds = 30 * kDay;
    ASSERT_EQ(target.Write(Message("appended")), 0);
    EXPECT_EQ(Read(name), "kept\r\n[appended] \r\n");
}

TEST_F(LogFileTargetTest, HourFileOfAnotherDayIsRestarted) {
    LogFileTarget target;
    Setup(target, LogFileTarget::kNameHour, LogFileTarget::kNoSizeLimit);
    ASSERT_EQ(target.Write(Message("hour one")), 0);
    const std::string name = target.CurrentFileName();
    clock_.offsetSeconds = kDay;  // same hour, next day: same name, stale file
    ASSERT_EQ(target.Write(Message("a day later")), 0);
    EXPECT_EQ(target.CurrentFileName(), name);
    EXPECT_EQ(Read(name), "[a day later] \r\n");
}

TEST_F(LogFileTargetTest, SizeLimitMovesOnToTheNextNumber) {
    LogFileTarget target;
    Setup(target, LogFileTarget::kNameDate, 1000);
    const std::string line(97, 'x');  // "[" + 97 + "] " + CR LF = 102 bytes a line
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(target.Write(Message(line)), 0);
    }
    const std::string first = NameFor(target, 1);
    const std::string second = NameFor(target, 2);
    // The first file takes lines until it has reached the limit: ten lines make 1020 bytes.
    EXPECT_EQ(fs::file_size(first), 1020u);
    EXPECT_EQ(fs::file_size(second), 204u);
    EXPECT_EQ(target.Sequence(), 2);
    EXPECT_EQ(target.CurrentFileName(), second);
}

TEST_F(LogFileTargetTest, FirstWriteContinuesAfterTheFullFilesOfToday) {
    LogFileTarget first;
    Setup(first, LogFileTarget::kNameDate, 10);
    Put(NameFor(first, 1), std::string(10, 'a'));
    Put(NameFor(first, 2), std::string(3, 'b'));
    ASSERT_EQ(first.Write(Message("c")), 0);
    EXPECT_EQ(first.Sequence(), 2);
    EXPECT_EQ(Read(NameFor(first, 2)), "bbb[c] \r\n");
}

TEST_F(LogFileTargetTest, NewDayDeletesStaleNumberedFilesAndRestartsAtOne) {
    LogFileTarget target;
    Setup(target, LogFileTarget::kNameDate, 10);
    ASSERT_EQ(target.Write(Message("day one a")), 0);
    ASSERT_EQ(target.Write(Message("day one b")), 0);
    EXPECT_EQ(target.Sequence(), 2);
    const std::string dayOne = NameFor(target, 1);

    // Files already carrying tomorrow's name but made today are stale tomorrow.
    clock_.offsetSeconds = kDay;
    Put(NameFor(target, 1), "stale 1");
    Put(NameFor(target, 2), "stale 2");
    Put(NameFor(target, 3), "stale 3");
    ASSERT_EQ(target.Write(Message("day two")), 0);
    EXPECT_EQ(target.Sequence(), 1);
    EXPECT_EQ(target.CurrentFileName(), NameFor(target, 1));
    EXPECT_EQ(Read(NameFor(target, 1)), "[day two] \r\n");
    EXPECT_FALSE(fs::exists(NameFor(target, 2)));
    EXPECT_FALSE(fs::exists(NameFor(target, 3)));
    EXPECT_TRUE(fs::exists(dayOne));
}

TEST_F(LogFileTargetTest, ReconfiguringWithALimitKeepsTodaysNumberedFiles) {
    LogFileTarget target;
    Setup(target, LogFileTarget::kNameDate, 5);
    ASSERT_EQ(target.Write(Message("one")), 0);
    ASSERT_EQ(target.Write(Message("two")), 0);
    ASSERT_EQ(target.Sequence(), 2);
    Setup(target, LogFileTarget::kNameDate, 5);  // as every connection does
    ASSERT_EQ(target.Write(Message("three")), 0);
    EXPECT_EQ(Read(NameFor(target, 1)), "[one] \r\n");
    EXPECT_EQ(Read(NameFor(target, 2)), "[two] \r\n");
    EXPECT_EQ(Read(NameFor(target, 3)), "[three] \r\n");
}

TEST_F(LogFileTargetTest, ChangingToAFolderWithTodaysFileContinuesIt) {
    LogFileTarget target;
    Setup(target, LogFileTarget::kNameDate, LogFileTarget::kNoSizeLimit);
    ASSERT_EQ(target.Write(Message("in first folder")), 0);
    const std::string firstFile = target.CurrentFileName();

    const std::string other = root_ + "/other";
    target.Configure(other.c_str(), LogFileTarget::kNameDate, "tallyx", LogFileTarget::kNoSizeLimit);
    const std::string otherFile = NameFor(target, -1);
    Put(otherFile, "written today by another program\r\n");
    ASSERT_EQ(target.Write(Message("in other folder")), 0);
    EXPECT_EQ(target.CurrentFileName(), otherFile);
    EXPECT_EQ(Read(otherFile), "written today by another program\r\n[in other folder] \r\n");
    EXPECT_EQ(Read(firstFile), "[in first folder] \r\n");
}

TEST_F(LogFileTargetTest, FolderIsCreatedOneLevelOnly) {
    LogFileTarget target;
    const std::string nested = root_ + "/missing/logs";
    target.SetOptions(0);
    target.Configure(nested.c_str(), LogFileTarget::kNameDate, "tallyx", LogFileTarget::kNoSizeLimit);
    EXPECT_FALSE(fs::exists(nested));
    // The write fails quietly and is tried again next time.
    EXPECT_EQ(target.Write(Message("lost")), kLogWriteFailed);
    EXPECT_FALSE(target.IsFileOpen());
    ASSERT_TRUE(fs::create_directories(nested));
    EXPECT_EQ(target.Write(Message("found")), 0);
    EXPECT_EQ(Read(target.CurrentFileName()), "[found] \r\n");
}

TEST_F(LogFileTargetTest, FileDeletedOrReplacedMeanwhileIsOpenedAgain) {
    LogFileTarget target;
    Setup(target, LogFileTarget::kNameDate, LogFileTarget::kNoSizeLimit);
    ASSERT_EQ(target.Write(Message("one")), 0);
    const std::string name = target.CurrentFileName();
    ASSERT_EQ(unlink(name.c_str()), 0);
    ASSERT_EQ(target.Write(Message("two")), 0);
    EXPECT_EQ(Read(name), "[two] \r\n");

    ASSERT_EQ(unlink(name.c_str()), 0);
    Put(name, "another program\r\n");
    ASSERT_EQ(target.Write(Message("three")), 0);
    EXPECT_EQ(Read(name), "another program\r\n[three] \r\n");
}

TEST_F(LogFileTargetTest, FilteredRecordsAreNotWritten) {
    LogFileTarget target;
    Setup(target, LogFileTarget::kNameDate, LogFileTarget::kNoSizeLimit);
    LogRecord record = Message("too detailed");
    record.level = 2;
    EXPECT_EQ(target.Write(record), 0);
    EXPECT_FALSE(target.IsFileOpen());
    EXPECT_EQ(target.CurrentFileName(), "");
}

TEST_F(LogFileTargetTest, MessagesLoggedJustBeforeStopReachTheFileAndLaterOnesDoNot) {
    LogFileTarget target;
    target.SetOptions(kLogShowTime | kLogShowType);
    target.SetClock(clock_.AsClock());
    Logger logger;
    logger.SetClock([] { return test::CalendarTimeOf(2009, 3, 7, 14, 5, 9, 42); });
    logger.Start(true);
    logger.AddTarget(&target);
    target.Configure(folder_.c_str(), LogFileTarget::kNameDate, "tallyx", LogFileTarget::kNoSizeLimit);

    logger.Log(kLogInfo, 0, "Opening RS232 port %s", "COM3");
    std::string expected = "[14:05:09.042] [I] [Opening RS232 port COM3] \r\n";
    for (int i = 0; i < 300; ++i) {
        logger.Log(kLogWarning, 0, "%s %d", "50% done", i);
        expected += "[14:05:09.042] [W] [50% done " + std::to_string(i) + "] \r\n";
    }
    logger.Stop();
    logger.Log(kLogError, 0, "after stop");
    EXPECT_EQ(Read(NameFor(target, -1)), expected);
}

}  // namespace
}  // namespace tallyx

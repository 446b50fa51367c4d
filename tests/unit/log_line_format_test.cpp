// How a target lays out one line, and how it filters and names itself.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "log/log_console_target.h"
#include "log/log_file_target.h"
#include "log/log_record.h"
#include "log/log_target.h"

namespace tallyx {
namespace {

// A target that only lays out lines.
class LineTarget : public LogTarget {
public:
    void GetName(char* buffer, size_t size) const override { CopyName("Line Target", buffer, size); }
    int32_t Write(const LogRecord&) override { return 0; }

    std::string Line(const LogRecord& record, size_t size = kLineSize) const {
        std::string buffer(size, '\x7f');
        const size_t length = FormatLine(buffer.data(), size, record);
        EXPECT_EQ(length, std::strlen(buffer.c_str()));
        return std::string(buffer.c_str());
    }
};

LogRecord MakeRecord(int32_t type, const char* text) {
    LogRecord record;
    record.type = type;
    record.level = 0;
    record.time.year = 2009;
    record.time.month = 3;
    record.time.day = 7;
    record.time.hour = 14;
    record.time.minute = 5;
    record.time.second = 9;
    record.time.milliseconds = 42;
    std::snprintf(record.text, sizeof record.text, "%s", text);
    return record;
}

TEST(LogLineLayout, TimeAndTypeAsTheLibraryWritesThem) {
    LineTarget target;
    target.SetOptions(kLogShowTime | kLogShowType);
    EXPECT_EQ(target.Line(MakeRecord(kLogInfo, "Opening RS232 port COM3")),
              "[14:05:09.042] [I] [Opening RS232 port COM3] \r\n");
    EXPECT_EQ(target.Line(MakeRecord(kLogWarning, "w")), "[14:05:09.042] [W] [w] \r\n");
    EXPECT_EQ(target.Line(MakeRecord(kLogError, "e")), "[14:05:09.042] [E] [e] \r\n");
    EXPECT_EQ(target.Line(MakeRecord(kLogFatal, "f")), "[14:05:09.042] [F] [f] \r\n");
}

TEST(LogLineLayout, DefaultOptionsShowTypeAndLevel) {
    LineTarget target;
    LogRecord record = MakeRecord(kLogError, "Received invalid response from the device");
    record.level = 1;
    EXPECT_EQ(target.Line(record), "[E] [L:1] [Received invalid response from the device] \r\n");
}

TEST(LogLineLayout, EveryPieceInFixedOrderWhateverTheBits) {
    LineTarget target;
    target.SetOptions(0x0100 | 0x0080 | 0x0040 | 0x0010 | 0x0008 | 0x0004 | 0x0002);
    LogRecord record = MakeRecord(kLogInfo, "x");
    record.level = 3;
    record.seconds = 1.5;
    record.threadId = 77;
    record.processId = 4242;
    EXPECT_EQ(target.Line(record),
              "[2009-03-07] [14:05:09.042] [I] [L:3] [S:1.500000] [TID:77] [PID:4242] [x] \r\n");
}

TEST(LogLineLayout, CustomAffixesAndNoPieces) {
    LineTarget target;
    target.SetOptions(0);
    target.SetAffixes("<", ">");
    EXPECT_EQ(target.Line(MakeRecord(kLogInfo, "plain")), "<plain>\r\n");
    // Affixes longer than their 19-character field are cut.
    target.SetAffixes("abcdefghijklmnopqrstuvwxyz", "");
    EXPECT_EQ(target.Line(MakeRecord(kLogInfo, "m")), "abcdefghijklmnopqrsm\r\n");
}

TEST(LogLineLayout, PercentSignsInTheTextAreKept) {
    LineTarget target;
    target.SetOptions(0);
    EXPECT_EQ(target.Line(MakeRecord(kLogInfo, "100% %s %d")), "[100% %s %d] \r\n");
}

TEST(LogLineLayout, LongMessageIsCutAndStillEndsInCrLf) {
    LineTarget target;
    target.SetOptions(0);
    const std::string text(1023, 'a');
    const std::string line = target.Line(MakeRecord(kLogInfo, text.c_str()));
    // "[" plus the text is cut to 1021 characters, then CR LF.
    ASSERT_EQ(line.size(), 1023u);
    EXPECT_EQ(line, "[" + std::string(1020, 'a') + "\r\n");

    target.SetOptions(kLogShowTime | kLogShowType);
    const std::string withPrefix = target.Line(MakeRecord(kLogInfo, text.c_str()));
    ASSERT_EQ(withPrefix.size(), 1023u);
    EXPECT_EQ(withPrefix.substr(0, 20), "[14:05:09.042] [I] [");
    EXPECT_EQ(withPrefix.substr(1021), "\r\n");
    EXPECT_EQ(withPrefix.substr(20, 1001), std::string(1001, 'a'));
}

TEST(LogLineLayout, LineJustFittingKeepsItsLastCharacter) {
    LineTarget target;
    target.SetOptions(0);
    target.SetAffixes("", "");
    // 1021 characters plus CR LF fill the 1023 places exactly.
    const std::string text(1021, 'b');
    EXPECT_EQ(target.Line(MakeRecord(kLogInfo, text.c_str())), text + "\r\n");
    const std::string shorter(1020, 'c');
    EXPECT_EQ(target.Line(MakeRecord(kLogInfo, shorter.c_str())), shorter + "\r\n");
}

TEST(LogLineLayout, SmallBuffersStayInBoundsAndEndInCrLf) {
    LineTarget target;
    target.SetOptions(kLogShowTime | kLogShowType);
    const LogRecord record = MakeRecord(kLogInfo, "hello");
    EXPECT_EQ(target.Line(record, 4), "[\r\n");
    EXPECT_EQ(target.Line(record, 10), "[14:05:\r\n");
    // Three characters or fewer: nothing is written at all.
    char tiny[3] = {'x', 'y', 'z'};
    EXPECT_EQ(target.FormatLine(tiny, sizeof tiny, record), 0u);
    EXPECT_EQ(std::string(tiny, 3), "xyz");
    EXPECT_EQ(target.FormatLine(nullptr, 100, record), 0u);
}

TEST(LogLineLayout, TextWithoutTerminatorIsReadOnlyToItsEnd) {
    LineTarget target;
    target.SetOptions(0);
    target.SetAffixes("", "");
    LogRecord record = MakeRecord(kLogInfo, "");
    std::memset(record.text, 'z', sizeof record.text);
    const std::string line = target.Line(record);
    EXPECT_EQ(line, std::string(1021, 'z') + "\r\n");
}

TEST(LogLineLayout, UnknownTypeShowsQuestionMark) {
    LineTarget target;
    target.SetOptions(kLogShowType);
    EXPECT_EQ(target.Line(MakeRecord(9, "odd")), "[?] [odd] \r\n");
}

TEST(LogTargetFilter, LevelAboveThresholdIsRefusedAndAcceptedOnesCounted) {
    LineTarget target;
    LogRecord record = MakeRecord(kLogWarning, "w");
    record.level = 1;
    EXPECT_TRUE(target.Accept(record));
    record.level = 2;
    EXPECT_FALSE(target.Accept(record));
    target.SetThreshold(kLogWarning, 2);
    EXPECT_TRUE(target.Accept(record));
    EXPECT_EQ(target.AcceptedCount(kLogWarning), 2u);
    EXPECT_EQ(target.AcceptedCount(kLogInfo), 0u);

    record.type = -1;
    EXPECT_FALSE(target.Accept(record));
    record.type = kLogTypeCount;
    EXPECT_FALSE(target.Accept(record));
}

TEST(LogTargetNames, NamesAreCutToTheBuffer) {
    LogConsoleTarget console;
    char buffer[64];
    console.GetName(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Log Console Target");
    console.GetName(buffer, 4);
    EXPECT_STREQ(buffer, "Log");

    LogFileTarget file;
    file.GetName(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Log File Target");
    buffer[0] = 'q';
    file.GetName(buffer, 0);
    EXPECT_EQ(buffer[0], 'q');
    file.GetName(buffer, 1);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
}  // namespace tallyx

// The library's log files: names, line layout of the message and traffic
// files, that nothing accepted is lost when the log closes, and that two
// processes logging into one folder never share a line.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comm/comm_log.h"
#include "support/temp_dir.h"
#include "support/text_files.h"
#include "time/date_time.h"

namespace tallyx {
namespace {

using test::ReadFile;
using test::SplitLines;

std::string Today(const char* suffix) {
    DateTime now = DateTime::Now();
    char name[64];
    std::snprintf(name, sizeof name, "tallyx_%04d-%02d-%02d%s.log", now.Year, now.Month, now.Day, suffix);
    return name;
}

TEST(CommLogFiles, MessagesReachTheDailyFileBeforeClose) {
    test::TempDir folder;
    CommLog log;
    log.Configure(folder.Path().c_str(), 0);
    for (int i = 0; i < 200; ++i) log.LogInfo("line %d", i);
    log.LogWarning("100%% sure: %s", "50% off");
    log.LogError("last words");
    log.Close();

    std::vector<std::string> lines = SplitLines(ReadFile(folder.Join(Today(""))));
    ASSERT_EQ(lines.size(), 202u);
    // "[hh:mm:ss.mmm] [type] [message] " and CR LF.
    ASSERT_EQ(lines[0].size(), 29u);
    EXPECT_EQ(lines[0][0], '[');
    EXPECT_EQ(lines[0].substr(13), "] [I] [line 0] \r");
    EXPECT_EQ(lines[200].substr(13), "] [W] [100% sure: 50% off] \r");
    EXPECT_EQ(lines[201].substr(13), "] [E] [last words] \r");

    // After close nothing more is written.
    log.LogInfo("too late");
    EXPECT_EQ(SplitLines(ReadFile(folder.Join(Today("")))).size(), 202u);
}

TEST(CommLogFiles, TrafficDumpLayout) {
    test::TempDir folder;
    CommLog log;
    log.Configure(folder.Path().c_str(), 1);
    const uint8_t ok[] = {0x4F, 0x4B, 0x0D};
    log.Dump("IN", ok, sizeof ok, 1);
    log.Dump("OUT", ok, sizeof ok, 2);  // above the dump level: left out

    std::vector<uint8_t> long_answer(200);
    for (size_t i = 0; i < long_answer.size(); ++i) long_answer[i] = static_cast<uint8_t>('A' + i % 26);
    long_answer[5] = 0x01;
    log.Dump("IN", long_answer.data(), static_cast<uint32_t>(long_answer.size()), 1);

    std::vector<std::string> lines = SplitLines(ReadFile(folder.Join(Today("-com"))));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].substr(0, 7), "------ ");
    EXPECT_EQ(lines[0].substr(lines[0].size() - 10), " IN ------");
    EXPECT_EQ(lines[1], "OK." + std::string(77, ' ') + " | 4f4b0d");

    EXPECT_EQ(lines[3].size(), 83u + 160u);
    EXPECT_EQ(lines[4].size(), 83u + 160u);
    EXPECT_EQ(lines[5].size(), 83u + 80u);
    EXPECT_EQ(lines[3].substr(0, 7), "ABCDE.G");
    EXPECT_EQ(lines[3].substr(80, 3), " | ");
    EXPECT_EQ(lines[3].substr(83, 14), "41424344450147");
    EXPECT_EQ(lines[5].substr(40, 40), std::string(40, ' '));
}

TEST(CommLogFiles, LineFeedEndsADumpLineEarly) {
    test::TempDir folder;
    CommLog log;
    log.Configure(folder.Path().c_str(), 2);
    const uint8_t text[] = {'a', '\n', 'b'};
    log.Dump("IN", text, sizeof text, 2);
    std::vector<std::string> lines = SplitLines(ReadFile(folder.Join(Today("-com"))));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "a." + std::string(78, ' ') + " | 610a");
    EXPECT_EQ(lines[2], "b" + std::string(79, ' ') + " | 62");
}

TEST(CommLogFiles, DumpDocumentsAreAppendedUnchanged) {
    test::TempDir folder;
    CommLog log;
    log.Configure(folder.Path().c_str(), 0);
    log.WriteDumpDocument("<READ>\n  <A>&</A>\n");
    log.WriteDumpDocument("</READ>\n");
    EXPECT_EQ(ReadFile(folder.Join(Today("-dump"))), "<READ>\n  <A>&</A>\n</READ>\n");
}

TEST(CommLogFiles, NoFolderMeansNoFiles) {
    test::TempDir folder;
    CommLog log;
    log.Configure("", 2);
    log.LogInfo("nowhere");
    const uint8_t byte = 0x41;
    log.Dump("IN", &byte, 1, 1);
    log.WriteDumpDocument("<X/>");
    log.Close();
    EXPECT_EQ(ReadFile(folder.Join(Today(""))), "");
}

TEST(CommLogFiles, EmptiedFolderStopsTheMessageFile) {
    test::TempDir folder;
    CommLog log;
    log.Configure(folder.Path().c_str(), 0);
    log.LogInfo("first");
    log.Configure("", 0);
    log.LogInfo("second");
    log.Close();
    std::string messages = ReadFile(folder.Join(Today("")));
    EXPECT_NE(messages.find("first"), std::string::npos);
    EXPECT_EQ(messages.find("second"), std::string::npos);
}

// What one of two processes writes in TwoProcessesNeverShareALine: lines tagged with its letter,
// traffic dumps of its letter and dump documents of whole lines, each far larger than one write
// of a buffered file.
void LogManyLines(const std::string& folder, char writer) {
    CommLog log;
    log.Configure(folder.c_str(), 2);
    const std::string payload(120, writer);
    const std::vector<uint8_t> traffic(2000, static_cast<uint8_t>(writer));
    std::string document;
    for (int line = 0; line < 200; ++line) document += std::string(1, writer) + " document " + payload + "\n";
    for (int i = 0; i < 150; ++i) {
        for (int line = 0; line < 10; ++line) log.LogInfo("%c %05d %s", writer, i * 10 + line, payload.c_str());
        const char label[] = {writer, '\0'};
        log.Dump(label, traffic.data(), static_cast<uint32_t>(traffic.size()), 2);
        log.WriteDumpDocument(document.c_str());
    }
    log.Close();
}

// Every line matches one of the patterns; returns how many lines each writer has.
std::pair<size_t, size_t> CountWholeLines(const std::string& file, const std::vector<std::regex>& patterns) {
    std::pair<size_t, size_t> counts;
    for (const std::string& line : SplitLines(ReadFile(file))) {
        std::smatch match;
        bool whole = false;
        for (const std::regex& pattern : patterns) {
            if (std::regex_match(line, match, pattern)) {
                whole = true;
                ++(match[1].str() == "A" ? counts.first : counts.second);
                break;
            }
        }
        EXPECT_TRUE(whole) << file << ": " << line.substr(0, 300);
        if (!whole) break;
    }
    return counts;
}

TEST(CommLogFiles, TwoProcessesLoggingIntoOneFolderNeverShareALine) {
    test::TempDir folder;
    std::vector<pid_t> children;
    for (char writer : {'A', 'B'}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            LogManyLines(folder.Path(), writer);
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    using Counts = std::pair<size_t, size_t>;
    EXPECT_EQ(CountWholeLines(folder.Join(Today("")),
                              {std::regex(R"(\[\d\d:\d\d:\d\d\.\d{3}\] \[I\] \[([AB]) \d{5} \1{120}\] \r)")}),
              Counts(1500, 1500));
    // 25 lines of 80 bytes under a header line for every dump.
    EXPECT_EQ(CountWholeLines(folder.Join(Today("-com")),
                              {std::regex(R"(------ \d\d:\d\d:\d\d\.\d{3} ([AB]) ------)"),
                               std::regex(R"((A)A{79} \| (41){80})"), std::regex(R"((B)B{79} \| (42){80})")}),
              Counts(150 * 26, 150 * 26));
    EXPECT_EQ(CountWholeLines(folder.Join(Today("-dump")), {std::regex(R"(([AB]) document \1{120})")}),
              Counts(150 * 200, 150 * 200));
}

}  // namespace
}  // namespace tallyx

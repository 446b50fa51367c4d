// Logging that cannot be done must not spoil a read: a log folder that cannot
// be made, one removed while the read runs, and log files that reach the
// process's file size limit. Each read still answers RETCODE_OK with every
// line of its data, and takes about as long as a read that logs normally.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"

namespace tallyx::e2e {
namespace {

using tallysim::Model;
using tallysim::SimOptions;

constexpr unsigned kCom = 10;
constexpr uint64_t kFileSizeLimit = 4096;

struct Pressure {
    const char* name;
    std::string folder;           // the log folder of the read under pressure
    bool removeDuringRead = false;  // the folder goes away at the third progress step
    uint64_t fileSizeLimit = 0;     // RLIMIT_FSIZE of the reading process; 0: none
};

// What a read gave: its result, how long it took and a digest of all its value lines.
struct ReadOutcome {
    int32_t result = -999;
    int64_t elapsedMs = 0;
    uint64_t lines = 0;
    uint64_t digest = 0;
};

std::string g_doomedFolder;
int32_t RemoveFolderAtThirdStep(TallyxHandle, uint32_t step) {
    if (step == 3) {
        std::error_code ignored;
        std::filesystem::remove_all(g_doomedFolder, ignored);
    }
    return 0;
}

// One read with every value line walked; runs in a child process, so it reports without gtest.
ReadOutcome TimedRead(CounterFixture& fixture, const std::string& folder, bool removeDuringRead) {
    TallyxHandle handle = fixture.NewContext(kCom);
    SetProperty(handle, PROPERTY_COMM_LOGFOLDER, folder.c_str());
    SetProperty(handle, PROPERTY_COMM_LOGLEVEL, "BYTES");
    if (removeDuringRead) {
        g_doomedFolder = folder;
        SetProgressCallback(handle, RemoveFolderAtThirdStep);
    }
    ReadOutcome outcome;
    const auto start = std::chrono::steady_clock::now();
    outcome.result = ReadDevice(handle);
    outcome.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::string all;
    std::vector<char> buffer(65536);
    for (const char* kind : {GETVALUE_DATA_SEQUENTIAL, GETVALUE_DATA_PERIODIC}) {
        for (const char* format : {GETVALUE_FORMAT_CSV, GETVALUE_FORMAT_XML}) {
            for (int32_t rc = GetFirstValue(handle, kind, format, buffer.data(), 65536); rc == RETCODE_OK;
                 rc = GetNextValue(handle, buffer.data(), 65536)) {
                all += buffer.data();
                all += '\n';
                ++outcome.lines;
            }
        }
    }
    outcome.digest = std::hash<std::string>{}(all);
    Term(handle);
    return outcome;
}

SimOptions CounterOptions() {
    SimOptions options(Model::A);
    std::string error;
    EXPECT_TRUE(options.description.Set("vehicles", "40", &error)) << error;
    return options;
}

// The same read in a child process, with the file size limit the row asks for. The child has a
// counter of its own with the same content: this process has stopped its counter's thread, so
// that it forks with a single thread and the child may start threads of its own.
ReadOutcome ReadInChild(CounterFixture& fixture, const Pressure& pressure) {
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::string error;
        if (!fixture.StartCounter(CounterOptions(), kCom, &error)) _exit(2);
        if (pressure.fileSizeLimit != 0) {
            // Past the limit a write fails with EFBIG instead of ending the process.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{pressure.fileSizeLimit, pressure.fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        const ReadOutcome outcome = TimedRead(fixture, pressure.folder, pressure.removeDuringRead);
        const bool sent = write(channel[1], &outcome, sizeof outcome) == static_cast<ssize_t>(sizeof outcome);
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    ReadOutcome outcome;
    if (child < 0 || read(channel[0], &outcome, sizeof outcome) != static_cast<ssize_t>(sizeof outcome)) outcome = {};
    close(channel[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << pressure.name;
    return outcome;
}

uint64_t FileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<uint64_t>(size);
}

TEST(LogPressureTest, ReadsWhoseLogsCannotBeWrittenStillGiveAllTheirDataInTheUsualTime) {
    CounterFixture fixture;
    std::string error;
    ASSERT_TRUE(fixture.StartCounter(CounterOptions(), kCom, &error)) << error;
    const ReadOutcome plain = TimedRead(fixture, fixture.logs.Join("plain"), false);
    fixture.Counter().Stop();
    ASSERT_EQ(plain.result, RETCODE_OK);
    ASSERT_GT(plain.lines, 40u);

    const std::string aFile = fixture.logs.Join("a-file");
    std::ofstream(aFile) << "not a folder\n";
    const Pressure pressures[] = {
        {"FolderUnderARegularFile", aFile + "/logs"},
        {"FolderRemovedWhileTheReadRuns", fixture.logs.Join("doomed"), true},
        {"FilesReachTheSizeLimit", fixture.logs.Join("full"), false, kFileSizeLimit},
    };
    for (const Pressure& pressure : pressures) {
        SCOPED_TRACE(pressure.name);
        const ReadOutcome pressed = ReadInChild(fixture, pressure);
        EXPECT_EQ(pressed.result, RETCODE_OK);
        EXPECT_EQ(pressed.lines, plain.lines);
        EXPECT_EQ(pressed.digest, plain.digest);
        // The wake-up pause makes every read last two seconds; allow as much again and
        // a margin for a busy machine. Logs that cost a time-out per line would take minutes.
        EXPECT_LT(pressed.elapsedMs, 2 * plain.elapsedMs + 5000) << "plain read: " << plain.elapsedMs << " ms";
        if (pressure.removeDuringRead) {
            EXPECT_FALSE(std::filesystem::exists(pressure.folder));
        }
        if (pressure.fileSizeLimit != 0) {
            // The limit was really met: the message log and the dump documents stop at it.
            EXPECT_EQ(FileSize(TodaysLog(pressure.folder, "")), pressure.fileSizeLimit);
            EXPECT_EQ(FileSize(TodaysLog(pressure.folder, "-dump")), pressure.fileSizeLimit);
        }
    }
}

}  // namespace
}  // namespace tallyx::e2e

#pragma once
// Shared set-up of the end-to-end tests: a temporary port folder that the
// library reaches through TALLYX_PORT_DIR, a log folder, and a simulated
// counter on COM<n> in it.
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <tallyx/tallyx.h>

#include "simulator.h"
#include "support/temp_dir.h"

namespace tallyx::e2e {

// A log file the library wrote, as text with LF line ends. Against the Windows library its
// text files end every line with CR LF, which is checked and then undone.
std::string ReadFile(const std::string& path);

// Every line of one kind and format through GetFirstValue/GetNextValue; the
// walk must end with RETCODE_NOMOREVALUES.
std::vector<std::string> Lines(TallyxHandle handle, const char* kind, const char* format);

// How a program of the build ended: its exit status and what it wrote.
struct Outcome {
    int status = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// A file's bytes as they are, whatever system wrote it.
std::string ReadBytes(const std::string& path);

// Runs a program with its output caught in files of `scratch` and nothing on its standard input.
Outcome RunProgram(const std::string& program, const std::vector<std::string>& args, const test::TempDir& scratch);

// Runs the build's tallyread from a copy in `folder` (it writes data/ and log/ beside itself),
// with the library beside it; the folder then holds data/.
Outcome RunTallyreadIn(const test::TempDir& folder, const test::TempDir& scratch);

// A counter of the statistics document, or ~0u when it is missing.
uint32_t Statistic(const std::string& document, const std::string& name);

// The local date days from today, "YYYY-MM-DD".
std::string LocalDay(int days);

// The local date days after tomorrow, "YYYY-MM-DD": a study that begins at its
// midnight is more than a day ahead, so it stays a valid begin also when a test
// runs across midnight.
std::string StudyDay(int days);

// The name of one of today's library log files ("" for the message log,
// "-com" for the traffic dump, "-dump" for the dump documents).
std::string TodaysLog(const std::string& folder, const char* suffix);

class CounterFixture {
public:
    CounterFixture();
    ~CounterFixture();

    // Starts a simulated counter on COM<com>; false (with the reason in error) when it cannot.
    bool StartCounter(tallysim::SimOptions options, unsigned com, std::string* error);
    tallysim::Simulator& Counter() { return *counter; }

    // A context with the settings every test uses: the port, quick time-outs,
    // no pause between requests, the log folder at level COMMANDS.
    TallyxHandle NewContext(unsigned com);

    std::string Property(TallyxHandle handle, const char* name);
    // Where the counters' ports are published: the test's own folder, or the folder named by
    // TALLYX_E2E_PORT_DIR (under Wine, the folder the prefix maps its COM names into).
    const std::string& PortFolder() const { return portFolder; }
    std::string MessageLog() const { return ReadFile(TodaysLog(logs.Path(), "")); }

    test::TempDir ports;
    test::TempDir logs;
    // The archive every tallyx of the test writes into (TALLYX_ARCHIVE): never the user's own.
    test::TempDir archiveFolder;

private:
    std::string portFolder;
    test::ScopedEnv portDir;

public:
    const std::string archivePath;

private:
    test::ScopedEnv archive;
    std::unique_ptr<tallysim::Simulator> counter;
};

}  // namespace tallyx::e2e

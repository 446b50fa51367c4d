#pragma once
// Shared set-up of the end-to-end tests: a temporary port folder that the
// library reaches through TALLYX_PORT_DIR, a log folder, and a simulated
// counter on COM<n> in it.
#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <tallyx/tallyx.h>

#include "simulator.h"
#include "support/local_day.h"
#include "support/temp_dir.h"
#include "support/text_files.h"

namespace tallyx::e2e {

using test::SplitLines;

// A log file the library wrote, as text with LF line ends. Against the Windows library its
// text files end every line with CR LF, which is checked and then undone.
std::string ReadFile(const std::string& path);

// The commands a simulated counter received, in order, without their framing.
std::vector<std::string> CommandsSent(const tallysim::Simulator& counter);

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

using test::LocalDay;

// The local date days after tomorrow, "YYYY-MM-DD": a study that begins at its
// midnight is more than a day ahead, so it stays a valid begin also when a test
// runs across midnight.
std::string StudyDay(int days);

// The name of one of today's library log files ("" for the message log,
// "-com" for the traffic dump, "-dump" for the dump documents).
std::string TodaysLog(const std::string& folder, const char* suffix);

// What the end-to-end tables need of a counter model, one row for each row of the table of
// models (drivers/counter_models.h) and in its order: the tables take their model rows from
// here, so a new model adds a row here and rows of its own where it differs.
struct E2eModel {
    tallysim::Model model;
    // Description keys of a short finished study of about a hundred vehicles.
    std::vector<std::pair<std::string, std::string>> shortStudy;
    // The sequential CSV lines, header first, that a full read of a study gives, worked out
    // from the simulator's vehicles without the library's code.
    std::vector<std::string> (*expectedCsv)(const tallysim::Study& study);
    // The command a programming begins with once the checks before it have passed.
    const char* eraseCommand;
    // Whether a programming that fails never starts the study: the model starts it last.
    bool startsStudyLast;

    const char* Letter() const;
    // "ModelA": how the tables name the model's rows.
    std::string Name() const { return std::string("Model") + Letter(); }
};

inline void PrintTo(const E2eModel& row, std::ostream* out) { *out << row.Name(); }

const std::vector<E2eModel>& E2eModels();
const E2eModel& E2eModelOf(tallysim::Model model);

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

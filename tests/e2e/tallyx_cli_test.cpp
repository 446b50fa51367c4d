// The tallyx program against simulated counters of both models: each
// subcommand, the study file round trip, the low-battery question on a
// terminal and without one, Ctrl-C in the middle of a long read, and bad input
// that must be refused before anything reaches the counter.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "model_b_expected.h"

namespace tallyx::e2e {
namespace {

namespace fs = std::filesystem;
using tallysim::Model;
using tallysim::SimOptions;

constexpr unsigned kCom = 8;

struct ProgramRun {
    int status = -1;       // exit status, or 128 + signal
    std::string output;    // standard output and standard error together
    double seconds = 0;    // from start to exit
    double afterSignal = 0;  // from the interrupt to exit
};

struct RunOptions {
    bool terminal = false;      // run on a pseudo-terminal (standard input, output and error)
    std::string answer;         // typed (line end included) once the program asks a question ending in "[y/N] "
    std::string interruptOn;     // send SIGINT once the output holds this text
    std::string directory;      // working directory
};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class TallyxCliTest : public ::testing::Test, public CounterFixture {
protected:
    // Runs tallyx, or tallyx.exe under Wine when TALLYX_CLI_EXE names it (the Wine test run);
    // the output then comes with LF line ends as on Linux.
    ProgramRun Tallyx(std::vector<std::string> args, const RunOptions& options = {}) {
        const char* windowsProgram = std::getenv("TALLYX_CLI_EXE");
        const char* wine = std::getenv("TALLYX_WINE");
        std::string binary = std::string(TALLYX_BINARY_DIR) + "/tallyx";
        if (windowsProgram != nullptr) {
            args.insert(args.begin(), windowsProgram);
            binary = wine != nullptr ? wine : "/usr/bin/wine";
        }
        args.insert(args.begin(), binary);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);

        const auto start = std::chrono::steady_clock::now();
        int output = -1;
        pid_t pid;
        if (options.terminal) {
            pid = forkpty(&output, nullptr, nullptr, nullptr);
        } else {
            int fds[2];
            if (pipe(fds) != 0) return {};
            pid = fork();
            if (pid == 0) {
                dup2(fds[1], STDOUT_FILENO);
                dup2(fds[1], STDERR_FILENO);
                const int null = open("/dev/null", O_RDONLY);
                dup2(null, STDIN_FILENO);
            }
            close(fds[1]);
            output = fds[0];
        }
        if (pid == 0) {
            if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) _exit(126);
            execv(binary.c_str(), argv.data());
            _exit(127);
        }
        ProgramRun run;
        bool answered = false;
        bool interrupted = false;
        std::chrono::steady_clock::time_point signalled;
        for (;;) {
            pollfd fd{output, POLLIN, 0};
            poll(&fd, 1, 20);
            char chunk[4096];
            const ssize_t n = (fd.revents & (POLLIN | POLLHUP)) ? read(output, chunk, sizeof chunk) : 0;
            if (n > 0) run.output.append(chunk, static_cast<size_t>(n));
            if (!answered && !options.answer.empty() && run.output.find("[y/N] ") != std::string::npos) {
                if (write(output, options.answer.data(), options.answer.size()) > 0) answered = true;
            }
            const auto now = std::chrono::steady_clock::now();
            if (!interrupted && !options.interruptOn.empty() &&
                run.output.find(options.interruptOn) != std::string::npos) {
                kill(pid, SIGINT);
                interrupted = true;
                signalled = now;
            }
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                // Whatever is still in the pipe.
                while (poll(&fd, 1, 50) > 0 && (fd.revents & POLLIN)) {
                    const ssize_t more = read(output, chunk, sizeof chunk);
                    if (more <= 0) break;
                    run.output.append(chunk, static_cast<size_t>(more));
                }
                const auto end = std::chrono::steady_clock::now();
                run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                run.seconds = std::chrono::duration<double>(end - start).count();
                if (interrupted) run.afterSignal = std::chrono::duration<double>(end - signalled).count();
                break;
            }
            if (now - start > std::chrono::seconds(120)) {
                kill(pid, SIGKILL);
            }
        }
        close(output);
        if (windowsProgram != nullptr) {
            for (size_t at; (at = run.output.find("\r\n")) != std::string::npos;) run.output.erase(at, 1);
        }
        return run;
    }

    // The options every run against the test's counter takes.
    std::vector<std::string> On(std::vector<std::string> args) {
        for (const char* extra : {"--port", "COM8", "--delay-ms", "0", "--timeout-ms", "1000"}) args.push_back(extra);
        return args;
    }

    void Start(Model model, const std::vector<std::pair<std::string, std::string>>& keys = {}, unsigned baud = 0) {
        SimOptions options(model);
        options.baud = baud;
        std::string error;
        for (const auto& [key, value] : keys) ASSERT_TRUE(options.description.Set(key, value, &error)) << error;
        ASSERT_TRUE(StartCounter(options, kCom, &error)) << error;
    }

    test::TempDir work;
};

std::string Day(int days) { return StudyDay(days); }

struct ModelCase {
    const char* name;
    Model model;
};

void PrintTo(const ModelCase& c, std::ostream* out) { *out << c.name; }

class TallyxModelTest : public TallyxCliTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(TallyxModelTest, InfoShowsTheUnitAsATableOrJson) {
    Start(GetParam().model);
    const auto& device = Counter().GetDescription().device;
    ProgramRun table = Tallyx(On({"info"}));
    EXPECT_EQ(table.status, 0) << table.output;
    EXPECT_NE(table.output.find("Serial number    " + device.serialNumber + "\n"), std::string::npos) << table.output;
    EXPECT_NE(table.output.find("Firmware         " + device.firmware + "\n"), std::string::npos);
    EXPECT_NE(table.output.find("Battery voltage  " + device.batteryVoltage + " V\n"), std::string::npos);
    ProgramRun json = Tallyx(On({"info", "--json"}));
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.output.find("\"serialNumber\": \"" + device.serialNumber + "\""), std::string::npos) << json.output;
    // Only the identity was asked for: no study was touched.
    for (const auto& record : Counter().Commands()) {
        EXPECT_EQ(record.command.find("STUDY"), std::string::npos) << record.command;
        EXPECT_NE(record.command.rfind(":F:X", 0), 0u) << record.command;
    }
}

TEST_P(TallyxModelTest, ReadWritesTheRecordsSettingsAndAStudyFile) {
    Start(GetParam().model, {{"vehicles", "150"}, {"seed", "5"}});
    const std::string out = work.Join("read");
    ProgramRun run = Tallyx(On({"read", "--out", out}));
    ASSERT_EQ(run.status, 0) << run.output;
    const tallysim::Study& study = Counter().GetStudy();
    const bool modelB = GetParam().model == Model::B;
    const std::vector<Vehicle> vehicles = modelB ? ExpectedVehiclesB(study) : ExpectedVehicles(study);
    EXPECT_EQ(SplitLines(ReadFile(out + "/sequential.csv")),
              ExpectedSequentialCsv(vehicles, modelB ? FlagDescriptionB : FlagDescription));
    EXPECT_EQ(SplitLines(ReadFile(out + "/periodic.csv")).size(), 1u + 96u);
    EXPECT_NE(ReadFile(out + "/settings.json").find("\"serialNumber\": \"" +
                                                    Counter().GetDescription().device.serialNumber + "\""),
              std::string::npos);
    EXPECT_NE(run.output.find("  Vehicles      150\n"), std::string::npos) << run.output;
    // Nothing half-written stays behind.
    for (const auto& entry : fs::directory_iterator(out)) {
        EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos) << entry.path();
    }
    const std::string studyFile = ReadFile(out + "/study.conf");
    EXPECT_NE(studyFile.find("speed-bins = " + Counter().GetDescription().study.speedBins + "\n"), std::string::npos)
        << studyFile;
}

// The report of a read is the same on every system: under Wine, tallyx.exe reads the counter and
// writes the report, and both files equal, byte for byte, what the Linux tallyx makes of that folder.
TEST_P(TallyxModelTest, TheReportOfAReadIsTheSameAsOnLinux) {
    Start(GetParam().model, {{"vehicles", "300"}, {"seed", "17"}});
    const std::string read = work.Join("read");
    ProgramRun run = Tallyx(On({"report", "--out", read}));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Report of 300 vehicles"), std::string::npos) << run.output;
    const Outcome linux = RunProgram(std::string(TALLYX_BINARY_DIR) + "/tallyx", {"report", read, "--out", work.Join("linux")}, work);
    ASSERT_EQ(linux.status, 0) << linux.err;
    for (const char* file : {"/report.json", "/report.html"}) {
        const std::string ours = ReadBytes(read + file), theirs = ReadBytes(work.Join("linux") + file);
        EXPECT_GT(ours.size(), 1000u) << file;
        EXPECT_TRUE(ours == theirs) << file << " differs";
    }
}

// A read is archived and comes back from the archive as it was read; the archive file is the
// same on every system: under Wine tallyx.exe writes it, and the Linux tallyx gives the same folder
// back from it (with its own line ends).
TEST_P(TallyxModelTest, AReadIsArchivedAndExportedAsItWasRead) {
    Start(GetParam().model, {{"vehicles", "200"}, {"seed", "19"}});
    const std::string folder = work.Join("read");
    ProgramRun read = Tallyx(On({"read", "--out", folder}));
    ASSERT_EQ(read.status, 0) << read.output;
    EXPECT_NE(read.output.find("Archived the read as study 1"), std::string::npos) << read.output;
    ProgramRun exported = Tallyx({"archive", "export", "1", "--out", work.Join("back")});
    ASSERT_EQ(exported.status, 0) << exported.output;
    const Outcome linux = RunProgram(std::string(TALLYX_BINARY_DIR) + "/tallyx",
                                     {"archive", "--archive", archivePath, "export", "1", "--out", work.Join("linux")}, work);
    ASSERT_EQ(linux.status, 0) << linux.err;
    auto files = [](const std::string& path, bool lineFeeds) {
        std::map<std::string, std::string> contents;
        for (const auto& entry : fs::directory_iterator(path)) {
            std::string text = ReadBytes(entry.path().string());
            if (lineFeeds) {
                for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
            }
            contents[entry.path().filename().string()] = text;
        }
        return contents;
    };
    EXPECT_EQ(files(work.Join("back"), false), files(folder, false));
    EXPECT_EQ(files(work.Join("linux"), false), files(folder, true));
}

TEST_P(TallyxModelTest, ProgramThenReadGivesTheStudyBackThroughTheStudyFile) {
    Start(GetParam().model);
    const std::string file = work.Join("study.conf");
    std::ofstream(file) << "# a day on Elm St\nbegin = " << Day(1) << " 00:00\nend = " << Day(2)
                        << " 00:00\nperiod = 30\nspeed-bins = 20 30 40 50\nlength-bins = 20 40\n"
                        << "speed_limit = 35\nstate = OH\nCity = Oak Park\ncounty = Lake\naddress = Elm St\n"
                        << "lane = NB\noperator = KW\n";
    ProgramRun program = Tallyx(On({"program", "--study", file}));
    ASSERT_EQ(program.status, 0) << program.output;

    const std::string out = work.Join("back");
    ProgramRun read = Tallyx(On({"read", "--out", out}));
    ASSERT_EQ(read.status, 0) << read.output;
    const std::string back = ReadFile(out + "/study.conf");
    for (const std::string& line :
         {"begin = " + Day(1) + " 00:00:00", "end = " + Day(2) + " 00:00:00", std::string("period = 30"),
          std::string("speed-bins = 20 30 40 50"), std::string("length-bins = 20 40"), std::string("speed-limit = 35"),
          std::string("state = OH"), std::string("city = Oak Park"), std::string("county = Lake"),
          std::string("address = Elm St"), std::string("lane = NB"), std::string("operator = KW")}) {
        EXPECT_NE(back.find(line + "\n"), std::string::npos) << line << "\n" << back;
    }
    // The study file a read wrote programs the counter again, with new dates.
    ProgramRun again = Tallyx(On({"program", "--study", out + "/study.conf", "--begin", Day(3) + " 00:00", "--end",
                           Day(4) + " 00:00"}));
    EXPECT_EQ(again.status, 0) << again.output;
}

TEST_P(TallyxModelTest, PortsListsTheCounterPortAndProbingNamesTheCounter) {
    Start(GetParam().model);
    const auto& device = Counter().GetDescription().device;
    ProgramRun list = Tallyx({"ports"});
    EXPECT_EQ(list.status, 0) << list.output;
    EXPECT_EQ(list.output.rfind("COM8 ", 0), 0u) << list.output;
    EXPECT_EQ(SplitLines(list.output).size(), 1u) << list.output;
    ProgramRun probe = Tallyx({"ports", "--probe", "--timeout-ms", "1000"});
    EXPECT_EQ(probe.status, 0) << probe.output;
    EXPECT_NE(probe.output.find(std::string("model ") + (GetParam().model == Model::A ? "A" : "B") + " (" +
                                device.unitType + "), serial number " + device.serialNumber),
              std::string::npos)
        << probe.output;
}

TEST_P(TallyxModelTest, DischargeStartsAndStops) {
    Start(GetParam().model);
    EXPECT_EQ(Tallyx(On({"discharge", "start"})).status, 0);
    EXPECT_EQ(Tallyx(On({"discharge", "stop"})).status, 0);
    EXPECT_EQ(Counter().Programmed().dischargeStarts, 1u);
}

INSTANTIATE_TEST_SUITE_P(Cli, TallyxModelTest,
                         ::testing::Values(ModelCase{"ModelA", Model::A}, ModelCase{"ModelB", Model::B}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the low-battery question

std::vector<std::string> LowBatteryProgram() {
    return {"program", "--begin", Day(1) + " 00:00", "--end", Day(2) + " 00:00", "--period", "15",
            "--speed-bins", "20 30", "--length-bins", "20"};
}

TEST_F(TallyxCliTest, TheLowBatteryQuestionDefaultsToNoOnATerminal) {
    Start(Model::B, {{"batterypercent", "10"}});
    RunOptions terminal;
    terminal.terminal = true;
    terminal.answer = "\n";  // just Enter
    ProgramRun run = Tallyx(On(LowBatteryProgram()), terminal);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("Program it anyway? [y/N]"), std::string::npos) << run.output;
    EXPECT_EQ(Counter().Programmed().erases, 0u);
}

TEST_F(TallyxCliTest, YesAnswersTheLowBatteryQuestionForScripts) {
    Start(Model::B, {{"batterypercent", "10"}});
    std::vector<std::string> args = On(LowBatteryProgram());
    args.push_back("--yes");
    ProgramRun run = Tallyx(args);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Counter().Programmed().studyStarts, 1u);
}

TEST_F(TallyxCliTest, WithoutATerminalOrYesALowBatteryStudyIsRefused) {
    Start(Model::B, {{"batterypercent", "10"}});
    ProgramRun run = Tallyx(On(LowBatteryProgram()));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("not programming it without --yes"), std::string::npos) << run.output;
    EXPECT_EQ(Counter().Programmed().erases, 0u);
    // No control characters without a terminal.
    EXPECT_EQ(run.output.find('\r'), std::string::npos);
    EXPECT_EQ(run.output.find('\033'), std::string::npos);
}

// ---- Ctrl-C

TEST_F(TallyxCliTest, CtrlCInTheMiddleOfAReadStopsWithinAnExchangeAndLeavesNoFiles) {
    // 20000 records at 57600 baud take about half a minute on the wire.
    Start(Model::B, {{"vehicles", "20000"}}, 57600);
    RunOptions options;
    options.terminal = true;
    // Once the progress bar shows the download under way.
    options.interruptOn = "Reading [";
    options.directory = work.Path();
    ProgramRun run = Tallyx(On({"read"}), options);
    EXPECT_EQ(run.status, 1) << run.output;
    // Well within the half minute the rest of the download would take.
    EXPECT_LT(run.afterSignal, 5.0);
    EXPECT_NE(run.output.find("stopped: Reading the counter on COM8 was interrupted"), std::string::npos) << run.output;
    // The progress bar ran on the terminal before.
    EXPECT_NE(run.output.find("Reading ["), std::string::npos);
    EXPECT_TRUE(fs::is_empty(work.Path()));
    // The counter answers the next command.
    EXPECT_EQ(Tallyx(On({"info"})).status, 0);
}

// ---- bad input is refused before the port is opened

struct BadInput {
    const char* name;
    std::string studyFile;  // written to a file and passed with --study when not empty
    std::vector<std::string> args;
    int status;
    std::string message;
};

void PrintTo(const BadInput& c, std::ostream* out) { *out << c.name; }

const std::string kGoodDates = "begin = " + Day(1) + " 00:00\nend = " + Day(2) + " 00:00\n";

const BadInput kBadInputs[] = {
    {"UnknownKey", kGoodDates + "period = 15\nlanes = 2\n", {}, 2, "study.conf:4: unknown key 'lanes'"},
    {"MalformedDate", "begin = tomorrow\nend = " + Day(2) + " 00:00\n", {}, 2,
     "study.conf:1: begin 'tomorrow' is not a date and time"},
    {"BeginAfterEnd", "begin = " + Day(3) + " 00:00\nend = " + Day(2) + " 00:00\n", {}, 2, "is not before the end"},
    {"BinsNotIncreasing", kGoodDates + "speed-bins = 30 20\n", {}, 2,
     "study.conf:3: speed-bins '30 20': RETCODE_ERR_OUTOFSEQUENCE (-22)"},
    {"NotKeyValue", kGoodDates + "period 15\n", {}, 2, "study.conf:3: expected key = value"},
    {"UnknownOption", "", {"program", "--colour", "red"}, 2, "--colour"},
    {"UnknownPort", "", {"info", "--port", "COM42"}, 3, "the port COM42 does not exist"},
    {"NoSuchDevice", "", {"info", "--port", "/dev/null"}, 3, "no COM port maps to /dev/null"},
};

class TallyxBadInputTest : public TallyxCliTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(TallyxBadInputTest, IsRefusedWithItsMessageAndNothingReachesTheCounter) {
    const BadInput& c = GetParam();
    Start(Model::A);
    std::vector<std::string> args = c.args;
    if (!c.studyFile.empty()) {
        std::ofstream(work.Join("study.conf")) << c.studyFile;
        args = On({"program", "--study", work.Join("study.conf")});
    } else if (args[0] == "program") {
        args = On(args);
    }
    ProgramRun run = Tallyx(args);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    EXPECT_EQ(Counter().Sessions(), 0u);
    EXPECT_TRUE(Counter().Commands().empty());
}

INSTANTIATE_TEST_SUITE_P(Cli, TallyxBadInputTest, ::testing::ValuesIn(kBadInputs),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TallyxCliTest, APortHeldByAnotherProgramIsReportedAndLeftAlone) {
    Start(Model::B);
    const int held = open(Counter().PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    ProgramRun run = Tallyx(On({"info"}));
    EXPECT_EQ(run.status, 3) << run.output;
    EXPECT_NE(run.output.find("RETCODE_ERR_CANTOPENPORT (-31)"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("no other program holds the port"), std::string::npos);
    ProgramRun probe = Tallyx({"ports", "--probe"});
    EXPECT_NE(probe.output.find("in use by another program"), std::string::npos) << probe.output;
    close(held);
    EXPECT_TRUE(Counter().Commands().empty());
}

TEST_F(TallyxCliTest, EverySubcommandHasHelpAndTheProgramAVersion) {
    for (const char* command : {"ports", "info", "read", "report", "program", "discharge", "archive"}) {
        ProgramRun run = Tallyx({command, "--help"});
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_NE(run.output.find("Exit status:"), std::string::npos) << command;
    }
    EXPECT_NE(Tallyx({"read", "--help"}).output.find("a full read ends the study on the counter"), std::string::npos);
    EXPECT_EQ(Tallyx({"--version"}).output.rfind("tallyx ", 0), 0u);
    EXPECT_EQ(Tallyx({}).status, 2);
}

// A Windows user reads ports and paths as Windows writes them, a Linux user as Linux does: every
// help text, the refusal of a port, and the paths a read and its volume records are written to.
TEST_F(TallyxCliTest, HelpMessagesAndPathsUseTheSystemsTerms) {
    const bool windows = std::getenv("TALLYX_CLI_EXE") != nullptr;
    const std::vector<std::string> linuxOnly = {"/dev/", "TALLYX_PORT_DIR", "dialout", "Debian"};
    auto speaksWindows = [&](const std::string& text) {
        for (const std::string& word : linuxOnly) {
            if (text.find(word) != std::string::npos) return ::testing::AssertionFailure() << word << " in " << text;
        }
        return ::testing::AssertionSuccess();
    };
    for (const char* command : {"", "ports", "info", "read", "program", "discharge", "tmg"}) {
        std::vector<std::string> args = {"--help"};
        if (command[0] != '\0') args.insert(args.begin(), command);
        const ProgramRun help = Tallyx(args);
        EXPECT_EQ(help.status, 0) << command;
        if (windows) {
            EXPECT_TRUE(speaksWindows(help.output)) << command;
        }
        if (std::string(command) != "ports" && std::string(command) != "tmg") {
            EXPECT_NE(help.output.find(windows ? "\\\\.\\COM12" : "/dev/ttyUSB0"), std::string::npos)
                << command << ": " << help.output;
        }
    }
    const ProgramRun refused = Tallyx({"info", "--port", "serial-one"});
    EXPECT_EQ(refused.status, 3) << refused.output;
    EXPECT_NE(refused.output.find(windows ? "give COM3, 3, \\\\.\\COM12 or USBX1" : "/dev/ttyUSB0"), std::string::npos)
        << refused.output;
    if (windows) {
        EXPECT_TRUE(speaksWindows(refused.output));
    }

    // The counter's port by its device path, a read into a folder given with "/", and its
    // volume records: the messages name both with the system's separator.
    Start(Model::A, {{"vehicles", "40"}, {"seed", "3"}});
    const std::string device = windows ? "\\\\.\\COM" + std::to_string(kCom) : Counter().PortPath();
    const ProgramRun info = Tallyx({"info", "--port", device, "--delay-ms", "0", "--timeout-ms", "1000"});
    EXPECT_EQ(info.status, 0) << info.output;
    // Under Wine, drive Z: is the Linux root, and a Windows user writes the drive: a Windows
    // program takes a bare "/tmp/..." for an option.
    const std::string out = (windows ? "Z:" : "") + work.Join("site12");
    std::string shown = out;
    if (windows) std::replace(shown.begin(), shown.end(), '/', '\\');
    const char separator = windows ? '\\' : '/';
    const ProgramRun read = Tallyx(On({"read", "--out", out}));
    ASSERT_EQ(read.status, 0) << read.output;
    EXPECT_NE(read.output.find(" into " + shown + separator + "\n"), std::string::npos) << read.output;
    const ProgramRun tmg = Tallyx({"tmg", out, "--state", "39", "--station", "123", "--class", "3U",
                                  "--forward-direction", "1", "--reverse-direction", "5"});
    ASSERT_EQ(tmg.status, 0) << tmg.output;
    EXPECT_NE(tmg.output.find(" to " + shown + separator + "volume.tmg\n"), std::string::npos) << tmg.output;
    EXPECT_TRUE(fs::exists(work.Join("site12/volume.tmg")));
}

}  // namespace
}  // namespace tallyx::e2e

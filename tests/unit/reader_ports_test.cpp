// The port test on real device nodes, and the real tallyread program run with
// no port present.
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reader/port_probe.h"
#include "reader_test_support.h"

extern char** environ;

namespace tallyx::test {
namespace {

// Sets TALLYX_PORT_DIR for one test and puts the old value back.
class PortFolder {
public:
    explicit PortFolder(const std::string& value) {
        const char* old = std::getenv("TALLYX_PORT_DIR");
        if (old != nullptr) saved_ = old;
        hadValue_ = old != nullptr;
        setenv("TALLYX_PORT_DIR", value.c_str(), 1);
    }
    ~PortFolder() {
        if (hadValue_) {
            setenv("TALLYX_PORT_DIR", saved_.c_str(), 1);
        } else {
            unsetenv("TALLYX_PORT_DIR");
        }
    }

private:
    std::string saved_;
    bool hadValue_ = false;
};

class PseudoTerminal {
public:
    PseudoTerminal() { openpty(&master_, &slave_, name_, nullptr, nullptr); }
    ~PseudoTerminal() {
        if (slave_ >= 0) close(slave_);
        if (master_ >= 0) close(master_);
    }
    bool Ok() const { return master_ >= 0; }
    std::string Name() const { return name_; }
    int Slave() const { return slave_; }

private:
    int master_ = -1;
    int slave_ = -1;
    char name_[256] = {};
};

TEST(PortProbe, DevicePathsFollowThePortFolder) {
    {
        PortFolder ports("/somewhere/ports");
        EXPECT_EQ(ComPortDevicePath(7), "/somewhere/ports/COM7");
    }
    {
        PortFolder ports("/somewhere/ports/");
        EXPECT_EQ(ComPortDevicePath(256), "/somewhere/ports/COM256");
    }
    PortFolder empty("");
    EXPECT_EQ(ComPortDevicePath(1), "/dev/ttyS0");
}

TEST(PortProbe, TellsPresentAbsentInUseAndOtherFailuresApart) {
    TempFolder folder;
    PortFolder ports(folder.Path());
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.Ok());

    std::filesystem::create_symlink(terminal.Name(), folder.Path() + "COM1");
    std::filesystem::create_symlink(folder.Path() + "gone", folder.Path() + "COM2");
    std::filesystem::create_directory(folder.Path() + "COM3");

    const PortProbeResult present = ProbeComPort(1);
    EXPECT_EQ(present.state, PortState::Present);
    EXPECT_EQ(present.devicePath, folder.Path() + "COM1");
    EXPECT_EQ(present.errorNumber, 0u);
    EXPECT_EQ(present.resolvedPath, std::filesystem::canonical(terminal.Name()).string());

    const PortProbeResult dangling = ProbeComPort(2);
    EXPECT_EQ(dangling.state, PortState::Absent);
    EXPECT_EQ(dangling.errorNumber, 2u);
    EXPECT_EQ(ProbeComPort(9).state, PortState::Absent);

    const PortProbeResult directory = ProbeComPort(3);
    EXPECT_EQ(directory.state, PortState::OtherFailure);
    EXPECT_EQ(directory.osError, EISDIR);
    EXPECT_EQ(directory.errorNumber, 31u);

    // Another open file that holds the lock makes the port busy; the test's own
    // lock is gone again afterwards, so the port is free once more.
    const int holder = open(terminal.Name().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    const PortProbeResult busy = ProbeComPort(1);
    EXPECT_EQ(busy.state, PortState::InUse);
    EXPECT_EQ(busy.errorNumber, 5u);
    close(holder);
    EXPECT_EQ(ProbeComPort(1).state, PortState::Present);
}

TEST(PortProbe, DeniedAccessCountsAsInUse) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    TempFolder folder;
    PortFolder ports(folder.Path());
    const std::string path = folder.Path() + "COM4";
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    chmod(path.c_str(), 0);
    const PortProbeResult denied = ProbeComPort(4);
    EXPECT_EQ(denied.state, PortState::InUse);
    EXPECT_EQ(denied.errorNumber, 5u);
}

#ifdef TALLYREAD_BINARY

// Runs a copy of tallyread from `folder` (so that its log/ and data/ land
// there) with the given arguments; stdout goes to a file. Returns the exit code.
int RunProgram(const std::string& folder, const std::string& portFolder, const std::vector<std::string>& arguments,
               std::string& output) {
    const std::string program = folder + "tallyread";
    std::filesystem::copy_file(TALLYREAD_BINARY, program, std::filesystem::copy_options::overwrite_existing);

    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.rfind("TALLYX_PORT_DIR=", 0) == 0 || text.rfind("LD_LIBRARY_PATH=", 0) == 0) continue;
        environment.push_back(text);
    }
    environment.push_back("TALLYX_PORT_DIR=" + portFolder);
    environment.push_back(std::string("LD_LIBRARY_PATH=") + TALLYX_LIBRARY_DIR);
    std::vector<char*> envp;
    for (std::string& text : environment) envp.push_back(text.data());
    envp.push_back(nullptr);

    std::vector<std::string> args = {program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : args) argv.push_back(text.data());
    argv.push_back(nullptr);

    const std::string outputPath = folder + "stdout.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    output = ReadFile(outputPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ReaderProgramRun, WithoutPortsShowsBannerAndDoneAndWritesNoData) {
    TempFolder folder;
    TempFolder ports;
    std::string output;
    ASSERT_EQ(RunProgram(folder.Path(), ports.Path(), {}, output), 0);
    EXPECT_EQ(output.rfind("\ntallyread v", 0), 0u) << output;
    const std::string tail = "\n\nAttempting to read device, please wait...\nDone!\n";
    ASSERT_GT(output.size(), tail.size());
    EXPECT_EQ(output.substr(output.size() - tail.size()), tail) << output;
    EXPECT_EQ(output.find('\r'), std::string::npos);

    const auto log = LogMessages(folder.Path() + "log/");
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[1].rfind("I tallyread v", 0), 0u);
    EXPECT_EQ(log[4], "I Enumerating serial ports...");
    EXPECT_FALSE(FileExists(folder.Path() + "data"));
}

TEST(ReaderProgramRun, VersionAndHelp) {
    TempFolder folder;
    TempFolder ports;
    std::string output;
    ASSERT_EQ(RunProgram(folder.Path(), ports.Path(), {"--version"}, output), 0);
    EXPECT_EQ(output.rfind("tallyread v", 0), 0u) << output;
    ASSERT_EQ(RunProgram(folder.Path(), ports.Path(), {"--help"}, output), 0);
    EXPECT_NE(output.find("Usage:"), std::string::npos) << output;
    EXPECT_NE(output.find("TALLYX_PORT_DIR"), std::string::npos) << output;
    // Neither touches ports or writes a log.
    EXPECT_FALSE(FileExists(folder.Path() + "log"));
}

#endif

}  // namespace
}  // namespace tallyx::test

// The reader's main flow against a stand-in library: which ports are tried,
// what the log and the console show, which files are written.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reader/reader_log.h"
#include "reader/reader_program.h"
#include "reader_test_support.h"

namespace tallyx::test {
namespace {

const std::string kRule = "I ====================================";

// What the stand-in port test finds, by COM number; every other port is absent.
std::map<int, PortProbeResult> probedPorts;

PortProbeResult ProbeStandIn(int n) {
    const auto found = probedPorts.find(n);
    if (found != probedPorts.end()) return found->second;
    PortProbeResult absent;
    absent.devicePath = "/dev/none" + std::to_string(n);
    absent.errorNumber = 2;
    return absent;
}

PortProbeResult Port(PortState state, int n, uint32_t errorNumber = 0) {
    PortProbeResult result;
    result.state = state;
    result.devicePath = "/dev/fake" + std::to_string(n);
    result.errorNumber = errorNumber;
    return result;
}

class ReaderFlow : public ::testing::Test {
protected:
    void SetUp() override {
        probedPorts.clear();
        fake.properties = {
            {PROPERTY_DEV_UNITTYPE, "ZK110"},
            {PROPERTY_DEV_SERIALNO, "SN1234"},
            {PROPERTY_DEV_FIRMWAREREV, "2.1"},
            {PROPERTY_DEV_BATTERYVOLTAGE, "6.4"},
            {PROPERTY_DEV_ACR, "ACR7"},
            {PROPERTY_DEV_STATISTICS, "<Staticstics><BytesSent>12</BytesSent></Staticstics>"},
            {PROPERTY_STUDY_STATE, "MN"},
            {PROPERTY_STUDY_CITY, "Springfield"},
            {PROPERTY_STUDY_SPEEDLIMIT, "55"},
            {PROPERTY_STUDY_BEGINDATETIME, "2013-07-30 10:00:00.000"},
            {PROPERTY_STUDY_ENDDATETIME, "2013-07-30 11:00:00.000"},
            {PROPERTY_STUDY_RANGETIME, "60"},
            {PROPERTY_STUDY_PERIODTIME, "15"},
            {PROPERTY_STUDY_SPEEDBINS, "20 30 40"},
            {PROPERTY_STUDY_LENGTHBINS, "20 40"},
            {PROPERTY_STUDY_FCODE, "1"},
        };
        fake.sequentialLines = {
            "TimeStamp,Flag,Flag Description,Speed,Length",
            "2013-07-30 10:05:30.000,2,FORWARD,48,18",
            "2013-07-30 10:20:00.000,4,REVERSE,25,30",
        };
        fake.periodicLines = {
            "TimeStamp,Temperature,Occupancy,Count,ReverseCount,Bin_1_1",
            "2013-07-30 10:15:00.000,68,0,1,0,1",
        };
    }

    std::string Run(bool showStatus = false) {
        char* text = nullptr;
        size_t size = 0;
        std::FILE* console = open_memstream(&text, &size);
        ReaderOptions options;
        options.api = &fake.Api();
        options.folders = ProgramFolders::Under(folder.Path());
        options.probe = &ProbeStandIn;
        options.console = console;
        options.showStatus = showStatus;
        options.version = VersionInfo{"tallyread", "1, 2, 3, 4", "1, 2, 0, 0", "(C) test"};
        exitCode = ReaderProgram(options).Run();
        std::fclose(console);
        std::string output(text, size);
        std::free(text);
        return output;
    }

    std::vector<std::string> Log() const { return LogMessages(folder.Path() + "log/"); }

    std::vector<std::string> Banner() const {
        return {kRule, "I tallyread v1.2.0.0", "I (C) test", kRule, "I Enumerating serial ports..."};
    }

    std::vector<std::string> CommLines(int n) const {
        return {
            "I *** COMM properties ***",
            "I PROPERTY_COMM_PORT: " + std::to_string(n),
            "I PROPERTY_COMM_BAUD: 57600",
            "I PROPERTY_COMM_PARITY: N",
            "I PROPERTY_COMM_NUMBITS: 8",
            "I PROPERTY_COMM_NUMSTOPBITS: 1",
            "I PROMPT: callback called: Reason=1",
            "I PROGRESS: Callback called: Progress=1",
            "I PROGRESS: Callback called: Progress=2",
            "I PROGRESS: Callback called: Progress=3",
            "I PROMPT: callback called: Reason=2",
        };
    }

    static void Append(std::vector<std::string>& lines, const std::vector<std::string>& more) {
        lines.insert(lines.end(), more.begin(), more.end());
    }

    FakeLibrary fake;
    TempFolder folder;
    int exitCode = -1;
    const std::string kConsole = "\ntallyread v1.2.3.4\n(C) test\n\nAttempting to read device, please wait...\nDone!\n";
};

TEST_F(ReaderFlow, ReadsTheFirstPortWithACounterAndStops) {
    probedPorts = {{1, Port(PortState::Present, 1)}, {3, Port(PortState::Present, 3)},
                   {5, Port(PortState::Present, 5)}};
    fake.readResults[3] = RETCODE_OK;
    fake.readResults[5] = RETCODE_OK;

    EXPECT_EQ(Run(), kConsole);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(fake.readPorts, (std::vector<int>{1, 3}));
    EXPECT_EQ(fake.liveContexts, 0);

    std::vector<std::string> expected = Banner();
    Append(expected, {"I Found serial port COM1", "I Serial port COM1 is the device /dev/fake1",
                      "I Found serial port COM3", "I Serial port COM3 is the device /dev/fake3",
                      "I Found serial port COM5", "I Serial port COM5 is the device /dev/fake5"});
    Append(expected, CommLines(1));
    Append(expected, {"E ReadDevice() failed! Error=RETCODE_ERR_FAILEDTOWAKEUP (-34)", kRule});
    Append(expected, CommLines(3));
    Append(expected, {
                         "I *** Unit properties ***",
                         "I PROPERTY_DEV_UNITTYPE: ZK110",
                         "I PROPERTY_DEV_SERIALNO: SN1234",
                         "I PROPERTY_DEV_FIRMWAREREV: 2.1",
                         "I PROPERTY_DEV_BATTERYVOLTAGE: 6.4",
                         "I PROPERTY_DEV_ACR: ACR7",
                         "I PROPERTY_DEV_STATISTICS: <Staticstics><BytesSent>12</BytesSent></Staticstics>",
                         kRule,
                     });
    EXPECT_EQ(Log(), expected);
}

TEST_F(ReaderFlow, SetsTheFixedSettingsInOrder) {
    probedPorts = {{12, Port(PortState::Present, 12)}};
    fake.readResults[12] = RETCODE_OK;
    Run();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {PROPERTY_COMM_PORT, "12"},
        {PROPERTY_COMM_BAUD, "57600"},
        {PROPERTY_COMM_PARITY, "N"},
        {PROPERTY_COMM_NUMBITS, "8"},
        {PROPERTY_COMM_NUMSTOPBITS, "1"},
        {PROPERTY_COMM_LOGFOLDER, folder.Path() + "log/"},
        {PROPERTY_COMM_LOGLEVEL, "COMMANDS"},
        {PROPERTY_STUDY_MEASUREMENTUNITS, "STUDY_MEASUREMENTUNITS_US"},
    };
    EXPECT_EQ(fake.setCalls, expected);
}

TEST_F(ReaderFlow, WritesTheFourFilesAfterASuccessfulRead) {
    probedPorts = {{2, Port(PortState::Present, 2)}};
    fake.readResults[2] = RETCODE_OK;
    Run();
    const std::string data = folder.Path() + "data/";
    EXPECT_EQ(ReadFile(data + "study.txt"),
              "State: MN\nCity: Springfield\nCounty: \nAddress: \nLane: \nSpeed Limit: 55\nOperator: \n"
              "Start Time: 2013-07-30 10:00:00.000\nEnd Time: 2013-07-30 11:00:00.000\nRange: 60\nPeriod: 15\n"
              "Speed Bins: 20 30 40\nLength Bins: 20 40\nFinish Code: 1\n");
    EXPECT_EQ(ReadFile(data + "sequential.csv"),
              "TimeStamp,Flag,Flag Description,Speed,Length\n2013-07-30 10:05:30.000,2,FORWARD,48,18\n"
              "2013-07-30 10:20:00.000,4,REVERSE,25,30\n");
    EXPECT_EQ(ReadFile(data + "periodic.csv"),
              "TimeStamp,Temperature,Occupancy,Count,ReverseCount,Bin_1_1\n2013-07-30 10:15:00.000,68,0,1,0,1\n");
    const std::string kvd = ReadFile(data + "kvd.dat");
    EXPECT_EQ(kvd.rfind(":X:0MN\n:X:1Springfield\n:X:2\n", 0), 0u) << kvd;
    EXPECT_NE(kvd.find("\n:V15 1 0 0 3 120 0 0\n:U0 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n:U0 0 0 0 0 0"), std::string::npos)
        << kvd;
    EXPECT_NE(kvd.find("\n:V30 1 0 0 3 120 1 0\n:U0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n:U0 1 0"), std::string::npos)
        << kvd;
}

TEST_F(ReaderFlow, StudyPropertiesThatFailAreLeftOut) {
    probedPorts = {{2, Port(PortState::Present, 2)}};
    fake.readResults[2] = RETCODE_OK;
    fake.getPropertyErrors[PROPERTY_STUDY_CITY] = RETCODE_ERR_INVALIDPROPERTY;
    fake.getPropertyErrors[PROPERTY_DEV_ACR] = RETCODE_ERR_BUFFERTOOSMALL;
    Run();
    const std::string study = ReadFile(folder.Path() + "data/study.txt");
    EXPECT_EQ(study.rfind("State: MN\nCounty: \n", 0), 0u) << study;
    const auto log = Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "E GetProperty() failed for property PROPERTY_DEV_ACR! Error=Unknown (-101)"),
              log.end());
    // The read still counts as successful: the statistics follow the files.
    EXPECT_EQ(log.end()[-2], "I PROPERTY_DEV_STATISTICS: <Staticstics><BytesSent>12</BytesSent></Staticstics>");
}

TEST_F(ReaderFlow, ValueFilesFollowTheExportResults) {
    probedPorts = {{2, Port(PortState::Present, 2)}};
    fake.readResults[2] = RETCODE_OK;
    fake.periodicLines.clear();                                        // nothing to export: no file, no line
    fake.sequentialLines.push_back("2013-07-30 10:30:00.000,2,FORWARD,48,18");
    fake.nextValueErrors[2] = RETCODE_ERR_BUFFERTOOSMALL;              // the second vehicle does not fit
    Run();
    const std::string data = folder.Path() + "data/";
    EXPECT_FALSE(FileExists(data + "periodic.csv"));
    EXPECT_EQ(ReadFile(data + "sequential.csv"),
              "TimeStamp,Flag,Flag Description,Speed,Length\n2013-07-30 10:05:30.000,2,FORWARD,48,18\n");
    const auto log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "E GetNextValue() failed! Error=Unknown (-101)"), 1);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) { return line.find("GetFirstValue") != std::string::npos; }),
              0);
}

TEST_F(ReaderFlow, ExportThatCannotStartWritesNoFile) {
    probedPorts = {{2, Port(PortState::Present, 2)}};
    fake.readResults[2] = RETCODE_OK;
    fake.firstValueErrors[GETVALUE_DATA_SEQUENTIAL] = RETCODE_ERR_BADDATATYPE;
    Run();
    EXPECT_FALSE(FileExists(folder.Path() + "data/sequential.csv"));
    EXPECT_TRUE(FileExists(folder.Path() + "data/periodic.csv"));
    EXPECT_TRUE(FileExists(folder.Path() + "data/kvd.dat"));
    const auto log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "E GetFirstValue() failed! Error=RETCODE_ERR_BADDATATYPE (-60)"), 1);
}

TEST_F(ReaderFlow, FilesThatCannotBeCreatedAreReportedAndTheReadStillCounts) {
    probedPorts = {{2, Port(PortState::Present, 2)}, {3, Port(PortState::Present, 3)}};
    fake.readResults[2] = RETCODE_OK;
    fake.readResults[3] = RETCODE_OK;
    std::FILE* blocker = std::fopen((folder.Path() + "data").c_str(), "w");  // a file where the folder should be
    ASSERT_NE(blocker, nullptr);
    std::fclose(blocker);
    EXPECT_EQ(Run(), kConsole);
    EXPECT_EQ(fake.readPorts, std::vector<int>{2});
    const auto log = Log();
    for (const char* name : {"study.txt", "sequential.csv", "periodic.csv", "kvd.dat"}) {
        const std::string line = "E Failed to open " + folder.Path() + "data/" + name;
        EXPECT_EQ(std::count(log.begin(), log.end(), line), 1) << name;
    }
}

TEST_F(ReaderFlow, NoPortMeansNoContextAndNoFiles) {
    EXPECT_EQ(Run(), kConsole);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(fake.readPorts.empty());
    EXPECT_TRUE(fake.setCalls.empty());
    EXPECT_EQ(Log(), Banner());
    EXPECT_FALSE(FileExists(folder.Path() + "data"));
}

TEST_F(ReaderFlow, PortsInUseOrFailingAreLoggedAndNeverTried) {
    probedPorts = {{2, Port(PortState::InUse, 2, 5)}, {4, Port(PortState::OtherFailure, 4, 31)},
                   {256, Port(PortState::Present, 256)}};
    probedPorts[256].resolvedPath = "/dev/ttyUSB0";
    Run();
    EXPECT_EQ(fake.readPorts, std::vector<int>{256});
    std::vector<std::string> expected = Banner();
    Append(expected, {"W CheckPort: Serial port COM2 is in use!",
                      "W CheckPort: Encounterd error 31 whille checking serial port COM4!",
                      "I Found serial port COM256", "I Serial port COM256 is the device /dev/fake256 (/dev/ttyUSB0)"});
    Append(expected, CommLines(256));
    Append(expected, {"E ReadDevice() failed! Error=RETCODE_ERR_FAILEDTOWAKEUP (-34)", kRule});
    EXPECT_EQ(Log(), expected);
}

TEST_F(ReaderFlow, FailuresBeforeTheReadEndTheContextAndMoveOn) {
    probedPorts = {{1, Port(PortState::Present, 1)}, {2, Port(PortState::Present, 2)}};
    fake.setPropertyErrors[PROPERTY_COMM_LOGFOLDER] = RETCODE_ERR_VALUETOOBIG;
    fake.termResult = RETCODE_ERR_INVALIDHANDLE;
    Run();
    EXPECT_TRUE(fake.readPorts.empty());
    EXPECT_EQ(fake.liveContexts, 0);
    std::vector<std::string> expected = Banner();
    for (int n : {1, 2}) {
        Append(expected, {"I Found serial port COM" + std::to_string(n),
                          "I Serial port COM" + std::to_string(n) + " is the device /dev/fake" + std::to_string(n)});
    }
    for (int n = 0; n < 2; ++n) {
        Append(expected, {"E SetProperty failed for PROPERTY_COMM_LOGFOLDER! Error=RETCODE_ERR_VALUETOOBIG (-12)",
                          "E Term() failed! Error=RETCODE_ERR_INVALIDHANDLE (-1)", kRule});
    }
    EXPECT_EQ(Log(), expected);
}

TEST_F(ReaderFlow, CallbackAndInitFailures) {
    probedPorts = {{1, Port(PortState::Present, 1)}};
    fake.progressCallbackResult = RETCODE_ERR_INVALIDHANDLE;
    Run();
    EXPECT_TRUE(fake.readPorts.empty());
    auto log = Log();
    EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()),
              (std::vector<std::string>{"E SetProgressCallback() failed! Error=RETCODE_ERR_INVALIDHANDLE (-1)", kRule}));

    fake.initFails = true;
    Run();
    log = Log();
    EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()), (std::vector<std::string>{"E Init() failed!", kRule}));
}

TEST_F(ReaderFlow, TerminalGetsAStatusLineThatIsClearedBeforeDone) {
    probedPorts = {{3, Port(PortState::Present, 3)}};
    fake.readResults[3] = RETCODE_OK;
    const std::string plain = Run(false);
    EXPECT_EQ(plain.find('\r'), std::string::npos);

    const std::string shown = Run(true);
    EXPECT_NE(shown.find("\r\033[KReading COM3 (/dev/fake3): step 3"), std::string::npos);
    EXPECT_NE(shown.find("\r\033[KLooking for serial ports: COM256"), std::string::npos);
    const std::string ending = "\r\033[KDone!\n";
    ASSERT_GE(shown.size(), ending.size());
    EXPECT_EQ(shown.substr(shown.size() - ending.size()), ending);
    EXPECT_EQ(shown.rfind("\ntallyread v1.2.3.4\n(C) test\n\n", 0), 0u);
}

LocalTimestamp clockNow;
LocalTimestamp StandInClock() { return clockNow; }

TEST(ReaderLogFile, LinesGoToTheFileOfTheirDay) {
    TempFolder folder;
    ReaderLog log(folder.Path() + "log", &StandInClock);
    clockNow = {2013, 7, 30, 23, 59, 59, 999};
    log.Info("last of the day %d", 1);
    clockNow = {2013, 7, 31, 0, 0, 0, 0};
    log.Warning("first of the next");
    log.Error("%s", std::string(2000, 'x').c_str());
    EXPECT_EQ(ReadFile(folder.Path() + "log/tallyread_2013-07-30.log"), "[23:59:59.999] [I] [last of the day 1]\n");
    EXPECT_EQ(ReadFile(folder.Path() + "log/tallyread_2013-07-31.log"),
              "[00:00:00.000] [W] [first of the next]\n[00:00:00.000] [E] [" + std::string(1023, 'x') + "]\n");
}

TEST(ReaderLogFile, UnwritableFolderDropsLinesQuietly) {
    TempFolder folder;
    ReaderLog log(folder.Path() + "missing/log/");
    log.Info("nowhere");
    EXPECT_FALSE(FileExists(folder.Path() + "missing"));
}

}  // namespace
}  // namespace tallyx::test

// Reading a simulated model A counter through the library's exports: the
// properties, CSV and XML lines the recorded study implies (worked out here
// from the simulator's vehicles), the requests on the wire, recovery from
// line faults, aborts, and the dump documents.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "model_a_expected.h"
#include "model_a_frame.h"

namespace tallyx::e2e {
namespace {

using tallysim::FaultPlan;
using tallysim::Model;
using tallysim::SimDateTime;
using tallysim::SimOptions;
using tallysim::Study;

constexpr unsigned kCom = 4;
using tallysim::FrameModelA;


const std::vector<std::string> kFieldRequests = {":R:F",   ":R:B",   ":R:E",   ":R:X:7", ":R:X:8", ":F",     ":b",
                                                 ":J",     ":R:X:0", ":R:X:1", ":R:X:2", ":R:X:3", ":R:X:4", ":R:X:5",
                                                 ":R:X:6", ":R:H",   ":R:P",   ":R:C",   ":R:S",   ":R:Q"};

// ---- reading through the exports


SimOptions StudyOptions(const char* vehicles) {
    SimOptions options(Model::A);
    std::string error;
    EXPECT_TRUE(options.description.Set("vehicles", vehicles, &error)) << error;
    EXPECT_TRUE(options.description.Set("seed", "11", &error)) << error;
    EXPECT_TRUE(options.description.Set("fcode", "40", &error)) << error;
    EXPECT_TRUE(options.description.Set("implausible", "0.05", &error)) << error;
    EXPECT_TRUE(options.description.Set("nolength", "0.03", &error)) << error;
    EXPECT_TRUE(options.description.Set("stopped", "0.03", &error)) << error;
    EXPECT_TRUE(options.description.Set("city", "Smith & Sons", &error)) << error;
    return options;
}

// One full read of a simulated day, shared by the tests that look at what it left.
class FullReadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fixture = new CounterFixture;
        std::string error;
        ASSERT_TRUE(fixture->StartCounter(StudyOptions("200"), kCom, &error)) << error;
        handle = fixture->NewContext(kCom);
        result = ReadDevice(handle);
    }
    static void TearDownTestSuite() {
        Term(handle);
        delete fixture;
        fixture = nullptr;
    }
    void SetUp() override { ASSERT_EQ(result, RETCODE_OK); }

    static const Study& GetStudy() { return fixture->Counter().GetStudy(); }
    static const tallysim::Description& Description() { return fixture->Counter().GetDescription(); }

    static CounterFixture* fixture;
    static TallyxHandle handle;
    static int32_t result;
};

CounterFixture* FullReadTest::fixture = nullptr;
TallyxHandle FullReadTest::handle = nullptr;
int32_t FullReadTest::result = 0;

std::string Joined(const std::vector<uint32_t>& numbers) {
    std::string text;
    for (uint32_t n : numbers) text += (text.empty() ? "" : " ") + std::to_string(n);
    return text;
}

TEST_F(FullReadTest, StoresTheUnitAndStudySettingsAsProperties) {
    const auto& device = Description().device;
    const auto& study = Description().study;
    EXPECT_EQ(fixture->Property(handle, PROPERTY_DEV_SERIALNO), device.serialNumber);
    EXPECT_EQ(fixture->Property(handle, PROPERTY_DEV_UNITTYPE), device.unitType);
    EXPECT_EQ(fixture->Property(handle, PROPERTY_DEV_FIRMWAREREV), device.firmware);
    EXPECT_EQ(fixture->Property(handle, PROPERTY_DEV_BATTERYVOLTAGE), device.batteryVoltage);
    EXPECT_EQ(fixture->Property(handle, PROPERTY_DEV_ACR), device.acr);
    // 1800 of 2000 in the charge register.
    ASSERT_EQ(device.acr, "2000_1800_0_2000");
    EXPECT_EQ(fixture->Property(handle, PROPERTY_DEV_BATTERYPERCENT), "90");
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_STATE), study.state);
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_CITY), "Smith & Sons");
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_COUNTY), study.county);
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_ADDRESS), study.street);
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_LANE), study.direction);
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_SPEEDLIMIT), study.speedLimit);
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_OPERATOR), study.operatorInitials);
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_BEGINDATETIME), study.begin.Text());
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_ENDDATETIME), study.end.Text());
    int64_t minutes = (study.end.ToMillis() - study.begin.ToMillis()) / 60000;
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_RANGETIME), std::to_string(minutes));
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_PERIODTIME), std::to_string(study.periodMinutes));
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_SPEEDBINS), Joined(tallysim::BinNumbers(study.speedBins)));
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_LENGTHBINS), Joined(tallysim::BinNumbers(study.lengthBins)));
    EXPECT_EQ(fixture->Property(handle, PROPERTY_STUDY_FCODE), FinishCode(study.finishCode));
}

TEST_F(FullReadTest, GivesEveryVehicleAsACsvAndAnXmlLine) {
    std::vector<Vehicle> vehicles = ExpectedVehicles(GetStudy());
    ASSERT_EQ(vehicles.size(), 200u);
    // Without a date in the records, one day's vehicles need no correction of their day.
    for (const Vehicle& v : vehicles) ASSERT_EQ(v.time.substr(0, 10), GetStudy().begin.Text().substr(0, 10));
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV), ExpectedSequentialCsv(vehicles));
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_XML), ExpectedSequentialXml(vehicles));
}

TEST_F(FullReadTest, GivesEveryPeriodWithItsCountsAndBins) {
    const auto& study = Description().study;
    std::vector<uint32_t> speedLimits = tallysim::BinNumbers(study.speedBins);
    std::vector<uint32_t> lengthLimits = tallysim::BinNumbers(study.lengthBins);
    std::vector<Period> periods = ExpectedPeriods(GetStudy(), ExpectedVehicles(GetStudy()), speedLimits, lengthLimits);
    ASSERT_EQ(periods.size(), 96u);
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_PERIODIC, GETVALUE_FORMAT_CSV),
              ExpectedPeriodicCsv(periods, speedLimits.size() + 1, lengthLimits.size() + 1));
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_PERIODIC, GETVALUE_FORMAT_XML), ExpectedPeriodicXml(periods));
}

TEST_F(FullReadTest, AsksForTheFieldsThenEverySequentialPageThenOnePeriodicPagePerPeriod) {
    std::vector<std::string> expected = kFieldRequests;
    // 200 vehicles fill four pages of 42 and part of a fifth; the sixth is empty.
    for (unsigned page = 8; page <= 13; ++page) expected.push_back(":F:X," + std::to_string(page) + ",2");
    for (unsigned page = 8; page < 8 + 96; ++page) expected.push_back(":F:X," + std::to_string(page) + ",1");

    std::string wire;
    for (const std::string& command : expected) wire += FrameModelA(command);
    EXPECT_EQ(fixture->Counter().BytesToCounter(1), wire);
    EXPECT_EQ(fixture->Counter().Sessions(), 1u);
    EXPECT_TRUE(fixture->Counter().ProtocolErrors().empty());

    std::string statistics = fixture->Property(handle, PROPERTY_DEV_STATISTICS);
    EXPECT_EQ(Statistic(statistics, "PagesRead"), 6u + 96u);
    EXPECT_EQ(Statistic(statistics, "CommRetries"), 0u);
    EXPECT_EQ(Statistic(statistics, "BytesSent"), wire.size());
}

// The dump documents of the read, in the order they reached the file.
std::vector<std::string> DocumentRoots(const std::string& dump) {
    std::vector<std::string> roots;
    std::regex root("(^|\n)<([A-Z_]+) TimeStamp=\"");
    for (std::sregex_iterator it(dump.begin(), dump.end(), root), end; it != end; ++it) roots.push_back((*it)[2]);
    return roots;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

TEST_F(FullReadTest, LeavesTheRawAndProcessedDocumentsInTheDumpFile) {
    std::string dump = ReadFile(TodaysLog(fixture->logs.Path(), "-dump"));
    ASSERT_EQ(DocumentRoots(dump),
              (std::vector<std::string>{"READ_SEQUENTIAL_RAW", "READ_PERIODIC_RAW", "READ_PROCESSED"}));
    size_t periodic = dump.find("<READ_PERIODIC_RAW ");
    size_t processed = dump.find("<READ_PROCESSED ");
    std::string sequentialRaw = dump.substr(0, periodic);
    std::string periodicRaw = dump.substr(periodic, processed - periodic);
    std::string processedData = dump.substr(processed);

    // Five pages of raw records, the unused ones of the last page included.
    EXPECT_NE(sequentialRaw.find("NumRecs=\"210\">\n"), std::string::npos);
    EXPECT_EQ(Count(sequentialRaw, "<RECORD RecNum="), 210u);
    EXPECT_EQ(sequentialRaw.substr(sequentialRaw.size() - 24), "</READ_SEQUENTIAL_RAW>\n\n");
    EXPECT_NE(periodicRaw.find("NumRecs=\"96\">\n"), std::string::npos);
    EXPECT_EQ(Count(periodicRaw, "<FRAME_DATA>"), 96u);
    EXPECT_EQ(periodicRaw.substr(periodicRaw.size() - 22), "</READ_PERIODIC_RAW>\n\n");

    EXPECT_NE(processedData.find("  <PROPERTY_STUDY_CITY>Smith & Sons</PROPERTY_STUDY_CITY>\n"), std::string::npos);
    EXPECT_EQ(Count(processedData, "<Sequential RecNum="), 200u);
    EXPECT_EQ(Count(processedData, "<Periodic RecNum="), 96u);
    // The element part, then the CSV blocks, each followed by a blank line.
    size_t close = processedData.find("</READ_PROCESSED>\n\nTimeStamp,Flag,Flag Description,Speed,Length\n");
    ASSERT_NE(close, std::string::npos);
    EXPECT_NE(processedData.find("\n\nTimeStamp,Temperature,Occupancy,Count,ReverseCount,Bin_1_1,", close),
              std::string::npos);
    EXPECT_EQ(processedData.substr(processedData.size() - 2), "\n\n");
    EXPECT_EQ(Count(processedData, "\n\n"), 5u);
}

// ---- faults, aborts and small studies, one read each

class ModelAReadTest : public ::testing::Test, public CounterFixture {
protected:
    int32_t Read(SimOptions options) {
        std::string error;
        EXPECT_TRUE(StartCounter(std::move(options), kCom, &error)) << error;
        handle = NewContext(kCom);
        return ReadDevice(handle);
    }
    void TearDown() override {
        if (handle != nullptr) Term(handle);
    }

    // Ends the context, so that every queued message is in the log file.
    std::string FinalMessageLog() {
        Term(handle);
        handle = nullptr;
        return MessageLog();
    }

    uint32_t StatisticOf(const char* name) { return Statistic(Property(handle, PROPERTY_DEV_STATISTICS), name); }

    TallyxHandle handle = nullptr;
};

TEST_F(ModelAReadTest, APageWithABadCrcIsReadAgain) {
    SimOptions options = StudyOptions("200");
    options.faults.Add(FaultPlan::CorruptPageCrcOnce(2, 9));
    options.faults.Add(FaultPlan::CorruptPageCrcOnce(1, 20));
    ASSERT_EQ(Read(options), RETCODE_OK);
    EXPECT_EQ(StatisticOf("CommRetries"), 2u);
    EXPECT_EQ(StatisticOf("PagesRead"), 6u + 96u + 2u);
    std::vector<Vehicle> vehicles = ExpectedVehicles(Counter().GetStudy());
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV), ExpectedSequentialCsv(vehicles));
    EXPECT_NE(FinalMessageLog().find("Attempt to access chip:2 page:9 failed. Retrying..."), std::string::npos);
}

TEST_F(ModelAReadTest, AnAnswerSpoiledThreeTimesFailsTheRead) {
    SimOptions options = StudyOptions("50");
    options.faults.Add(FaultPlan::Garble(":R:X:8", 1, 3));
    EXPECT_EQ(Read(options), RETCODE_ERR_CRC);
    EXPECT_EQ(StatisticOf("CommRetries"), 3u);
    std::vector<std::string> commands;
    for (const auto& record : Counter().Commands()) commands.push_back(record.command);
    EXPECT_EQ(commands, (std::vector<std::string>{":R:F", ":R:B", ":R:E", ":R:X:7", ":R:X:8", ":R:X:8", ":R:X:8"}));
    // What was read before stays; nothing was downloaded.
    EXPECT_EQ(Property(handle, PROPERTY_DEV_SERIALNO), Counter().GetDescription().device.serialNumber);
    char line[256];
    EXPECT_EQ(GetFirstValue(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_XML, line, sizeof line),
              RETCODE_NOMOREVALUES);
}

TEST_F(ModelAReadTest, AnAnswerSpoiledTwiceIsRecovered) {
    SimOptions options = StudyOptions("50");
    options.faults.Add(FaultPlan::Garble(":R:S", 1, 2));
    options.faults.Add(FaultPlan::Drop(":J", 1, 1));
    ASSERT_EQ(Read(options), RETCODE_OK);
    EXPECT_EQ(StatisticOf("CommRetries"), 3u);
    EXPECT_EQ(Property(handle, PROPERTY_STUDY_SPEEDBINS),
              Joined(tallysim::BinNumbers(Counter().GetDescription().study.speedBins)));
}

TEST_F(ModelAReadTest, SilenceFailsTheReadWithAReadError) {
    SimOptions options = StudyOptions("50");
    options.faults.Add(FaultPlan::Drop(":F:X,8,1", 1, 3));
    EXPECT_EQ(Read(options), RETCODE_ERR_READ);
    EXPECT_EQ(StatisticOf("CommRetries"), 3u);
    EXPECT_NE(FinalMessageLog().find("All (3) attempts to access chip:1 page:8 failed!"), std::string::npos);
}

uint32_t g_abortAt = 0;
int32_t AbortAt(TallyxHandle, uint32_t step) { return step == g_abortAt ? 1 : 0; }

TEST_F(ModelAReadTest, AProgressAnswerOfOneAbortsTheRead) {
    std::string error;
    ASSERT_TRUE(StartCounter(StudyOptions("50"), kCom, &error)) << error;
    handle = NewContext(kCom);
    g_abortAt = 22;  // the 20 fields, then the first two sequential pages
    SetProgressCallback(handle, AbortAt);
    EXPECT_EQ(ReadDevice(handle), RETCODE_ABORTED);
    EXPECT_EQ(Counter().Commands().size(), 22u);
    EXPECT_NE(FinalMessageLog().find("Operation was aborted by the user!"), std::string::npos);
}

TEST_F(ModelAReadTest, FortyFiveVehiclesReachTheDumpFileWhole) {
    ASSERT_EQ(Read(StudyOptions("45")), RETCODE_OK);
    std::string dump = ReadFile(TodaysLog(logs.Path(), "-dump"));
    ASSERT_EQ(DocumentRoots(dump),
              (std::vector<std::string>{"READ_SEQUENTIAL_RAW", "READ_PERIODIC_RAW", "READ_PROCESSED"}));
    EXPECT_NE(dump.find("NumRecs=\"84\""), std::string::npos);
    EXPECT_EQ(Count(dump, "<Sequential RecNum="), 45u);
    EXPECT_NE(dump.find("<Sequential RecNum=\"45\">"), std::string::npos);
    EXPECT_EQ(Count(dump, "</READ_PROCESSED>"), 1u);
}

TEST_F(ModelAReadTest, AnEmptyFlashGivesEmptyDocumentsAndNoVehicles) {
    ASSERT_EQ(Read(StudyOptions("0")), RETCODE_OK);
    std::string dump = ReadFile(TodaysLog(logs.Path(), "-dump"));
    EXPECT_NE(dump.find("NumRecs=\"0\"></READ_SEQUENTIAL_RAW>\n\n"), std::string::npos);
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV),
              std::vector<std::string>{"TimeStamp,Flag,Flag Description,Speed,Length"});
}

}  // namespace
}  // namespace tallyx::e2e

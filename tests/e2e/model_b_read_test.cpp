// Reading a simulated model B counter through the library's exports: the
// properties, CSV and XML lines (US and metric) that the recorded vehicles
// imply, worked out here from the simulator's vehicles; the commands on the
// wire with their chunks and progress steps; and, one row per scenario, how
// the read ends when the counter's state, answers or line go wrong.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "model_b_expected.h"

namespace tallyx::e2e {
namespace {

using tallysim::FaultPlan;
using tallysim::Model;
using tallysim::SimOptions;

constexpr unsigned kCom = 6;


// How often command was sent; a trailing * counts every command starting with the rest.
size_t Count(const std::vector<std::string>& commands, const std::string& command) {
    if (!command.empty() && command.back() == '*') {
        const std::string prefix = command.substr(0, command.size() - 1);
        return static_cast<size_t>(std::count_if(commands.begin(), commands.end(),
                                                 [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
    }
    return static_cast<size_t>(std::count(commands.begin(), commands.end(), command));
}

const std::vector<std::string> kDeviceInfoCommands = {"GETSERIALNUMBER", "GETDEVICETYPE", "GETFIRMWAREVERSION",
                                                      "GETBATTERYVOLTAGE", "GETBATTERYPERCENT"};
const std::vector<std::string> kUserAreaCommands = {"GETUSERAREA 0", "GETUSERAREA 1", "GETUSERAREA 2",
                                                    "GETUSERAREA 3"};

SimOptions StudyOptions(const std::vector<std::pair<std::string, std::string>>& settings) {
    SimOptions options(Model::B);
    std::string error;
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"begin", "2026-11-02 06:00"}, {"end", "2026-11-02 08:10"}, {"period", "15"},
             {"vehicles", "120"}, {"seed", "23"}, {"speedbins", "20 30 40 50 60"}, {"lengthbins", "20 40"},
             {"highflagbits", "0.2"}, {"hundredths", "0.3"}, {"unclassified", "0.05"}, {"stopped", "0.05"},
             {"city", "Smith & Sons"}}) {
        EXPECT_TRUE(options.description.Set(key, value, &error)) << key << ": " << error;
    }
    for (const auto& [key, value] : settings) EXPECT_TRUE(options.description.Set(key, value, &error)) << key << ": " << error;
    return options;
}

std::vector<uint32_t> g_steps;
int32_t RecordStep(TallyxHandle, uint32_t step) {
    g_steps.push_back(step);
    return 0;
}

// One full read of a simulated morning, shared by the tests that look at what it left.
class ModelBFullReadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fixture = new CounterFixture;
        std::string error;
        ASSERT_TRUE(fixture->StartCounter(StudyOptions({}), kCom, &error)) << error;
        handle = fixture->NewContext(kCom);
        g_steps.clear();
        SetProgressCallback(handle, RecordStep);
        result = ReadDevice(handle);
        steps = g_steps;
    }
    static void TearDownTestSuite() {
        Term(handle);
        delete fixture;
        fixture = nullptr;
    }
    void SetUp() override { ASSERT_EQ(result, RETCODE_OK); }

    static const tallysim::Study& GetStudy() { return fixture->Counter().GetStudy(); }
    static const tallysim::Description& Description() { return fixture->Counter().GetDescription(); }
    static std::vector<uint32_t> SpeedLimits() { return tallysim::BinNumbers(Description().study.speedBins); }
    static std::vector<uint32_t> LengthLimits() { return tallysim::BinNumbers(Description().study.lengthBins); }

    static CounterFixture* fixture;
    static TallyxHandle handle;
    static int32_t result;
    static std::vector<uint32_t> steps;
};

CounterFixture* ModelBFullReadTest::fixture = nullptr;
TallyxHandle ModelBFullReadTest::handle = nullptr;
int32_t ModelBFullReadTest::result = 0;
std::vector<uint32_t> ModelBFullReadTest::steps;

TEST_F(ModelBFullReadTest, StoresTheUnitStudyAndUserAreaAsProperties) {
    const auto& device = Description().device;
    const auto& study = Description().study;
    const std::vector<std::pair<const char*, std::string>> expected = {
        {PROPERTY_DEV_SERIALNO, device.serialNumber},
        {PROPERTY_DEV_UNITTYPE, device.unitType},
        {PROPERTY_DEV_FIRMWAREREV, device.firmware},
        {PROPERTY_DEV_BATTERYVOLTAGE, device.batteryVoltage},
        {PROPERTY_DEV_BATTERYPERCENT, device.batteryPercent},
        {PROPERTY_STUDY_TYPE, "TRAFFIC"},
        {PROPERTY_STUDY_FCODE, "0"},
        {PROPERTY_STUDY_BEGINDATETIME, "2026-11-02 06:00:00.000"},
        {PROPERTY_STUDY_ENDDATETIME, "2026-11-02 08:10:00.000"},
        {PROPERTY_STUDY_RANGETIME, "130"},
        {PROPERTY_STUDY_PERIODTIME, "15"},
        {PROPERTY_STUDY_NUMRECORDS, "120"},
        {PROPERTY_STUDY_BINRECORDSIZE, "8"},
        {PROPERTY_STUDY_SPEEDBINS, "20 30 40 50 60"},
        {PROPERTY_STUDY_LENGTHBINS, "20 40"},
        {PROPERTY_STUDY_STATE, study.state},
        {PROPERTY_STUDY_CITY, "Smith & Sons"},
        {PROPERTY_STUDY_COUNTY, study.county},
        {PROPERTY_STUDY_ADDRESS, study.street},
        {PROPERTY_STUDY_LANE, study.direction},
        {PROPERTY_STUDY_SPEEDLIMIT, study.speedLimit},
        {PROPERTY_STUDY_OPERATOR, study.operatorInitials},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(fixture->Property(handle, name), value) << name;
}

TEST_F(ModelBFullReadTest, GivesEveryVehicleAndEveryPeriodAsCsvAndXml) {
    const std::vector<Vehicle> vehicles = ExpectedVehiclesB(GetStudy());
    ASSERT_EQ(vehicles.size(), 120u);
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV),
              ExpectedSequentialCsv(vehicles, FlagDescriptionB));
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_XML),
              ExpectedSequentialXml(vehicles, FlagDescriptionB));

    // 130 minutes in periods of 15: eight whole periods and a partial ninth.
    const std::vector<Period> periods = ExpectedPeriodsB(GetStudy(), vehicles, SpeedLimits(), LengthLimits());
    ASSERT_EQ(periods.size(), 9u);
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_PERIODIC, GETVALUE_FORMAT_CSV), ExpectedPeriodicCsv(periods, 6, 3));
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_PERIODIC, GETVALUE_FORMAT_XML), ExpectedPeriodicXml(periods));
    // A second walk gives the same periods.
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_PERIODIC, GETVALUE_FORMAT_CSV), ExpectedPeriodicCsv(periods, 6, 3));
}

// The conversions themselves are the properties' business; they serve here as
// the table the export must apply to speeds and lengths.
std::vector<uint32_t> MetricTable(const char* property) {
    TallyxHandle scratch = Init();
    std::vector<uint32_t> table(256);
    for (uint32_t us = 0; us < table.size(); ++us) {
        char text[64];
        SetProperty(scratch, PROPERTY_STUDY_MEASUREMENTUNITS, STUDY_MEASUREMENTUNITS_US);
        SetProperty(scratch, property, std::to_string(us == 0 ? 1 : us).c_str());
        SetProperty(scratch, PROPERTY_STUDY_MEASUREMENTUNITS, STUDY_MEASUREMENTUNITS_METRIC);
        GetProperty(scratch, property, text, sizeof text);
        table[us] = us == 0 ? 0 : static_cast<uint32_t>(std::stoul(text));
    }
    Term(scratch);
    return table;
}

TEST_F(ModelBFullReadTest, WritesSpeedsAndLengthsInMetricUnitsWhenAskedTo) {
    const std::vector<uint32_t> kmh = MetricTable(PROPERTY_STUDY_SPEEDLIMIT);
    const std::vector<uint32_t> dm = MetricTable(PROPERTY_STUDY_LENGTHBINS);
    std::vector<Vehicle> vehicles = ExpectedVehiclesB(GetStudy());
    for (Vehicle& v : vehicles) {
        v.speed = kmh[v.speed];
        v.length = dm[v.length];
    }
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_MEASUREMENTUNITS, STUDY_MEASUREMENTUNITS_METRIC), RETCODE_OK);
    const std::vector<std::string> csv = Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV);
    const std::vector<std::string> xml = Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_XML);
    ASSERT_EQ(SetProperty(handle, PROPERTY_STUDY_MEASUREMENTUNITS, STUDY_MEASUREMENTUNITS_US), RETCODE_OK);
    EXPECT_EQ(csv, ExpectedSequentialCsv(vehicles, FlagDescriptionB));
    EXPECT_EQ(xml, ExpectedSequentialXml(vehicles, FlagDescriptionB));
}

TEST_F(ModelBFullReadTest, FetchesTheRecordsInChunksOfFiftyWithTwoProgressStepsEach) {
    std::vector<std::string> expected = kDeviceInfoCommands;
    expected.push_back("GETSTUDYINFO");
    expected.insert(expected.end(), kUserAreaCommands.begin(), kUserAreaCommands.end());
    for (const char* chunk : {"GETSTUDYDATABINARY 0 50", "GETSTUDYDATABINARY 50 50", "GETSTUDYDATABINARY 100 20"})
        expected.push_back(chunk);
    EXPECT_EQ(CommandsSent(fixture->Counter()), expected);

    std::string wire;
    for (const std::string& command : expected) wire += command + "\n";
    EXPECT_EQ(fixture->Counter().BytesToCounter(1), wire);

    // One step per exchange and one after each chunk's records.
    std::vector<uint32_t> rising(10 + 3 * 2);
    for (uint32_t i = 0; i < rising.size(); ++i) rising[i] = i + 1;
    EXPECT_EQ(steps, rising);

    const std::string statistics = fixture->Property(handle, PROPERTY_DEV_STATISTICS);
    EXPECT_EQ(Statistic(statistics, "BytesSent"), wire.size());
    // All but the line feed after the wake-up line's carriage return, which is purged unread.
    EXPECT_EQ(Statistic(statistics, "BytesReceived"), fixture->Counter().BytesFromCounter(1).size() - 1);
    EXPECT_EQ(Statistic(statistics, "PagesRead"), 0u);
    EXPECT_EQ(Statistic(statistics, "CommRetries"), 0u);
}

TEST_F(ModelBFullReadTest, LeavesTheRawAndProcessedDocumentsInTheDumpFile) {
    const std::string dump = ReadFile(TodaysLog(fixture->logs.Path(), "-dump"));
    const size_t processed = dump.find("<READ_PROCESSED ");
    ASSERT_EQ(dump.rfind("<READ_SEQUENTIAL_RAW ", 0), 0u) << dump.substr(0, 200);
    ASSERT_NE(processed, std::string::npos);
    const std::string raw = dump.substr(0, processed);
    EXPECT_NE(raw.find("NumRecs=\"120\""), std::string::npos);

    // Each raw record as the counter sent it: every flag bit, the fraction digits as sent.
    const tallysim::Vehicle& third = GetStudy().vehicles[2];
    const int64_t offset = (third.timeMs - GetStudy().begin.ToMillis()) / 1000;
    const std::string record = "<RECORD RecNum=\"3\">\n    <TIME_OFFSET_SEC>" + std::to_string(offset) +
                               "</TIME_OFFSET_SEC>\n    <FLAG>" + std::to_string(third.flags) + "</FLAG>\n    <SPEED>" +
                               std::to_string(third.speedWhole) + "." + std::to_string(third.speedFraction) +
                               "</SPEED>\n    <LENGTH>" + std::to_string(third.lengthWhole) + "." +
                               std::to_string(third.lengthFraction) + "</LENGTH>";
    EXPECT_NE(raw.find(record), std::string::npos) << raw.substr(0, 600);

    const std::string data = dump.substr(processed);
    const std::vector<Vehicle> vehicles = ExpectedVehiclesB(GetStudy());
    for (const std::string& line : ExpectedSequentialCsv(vehicles, FlagDescriptionB))
        EXPECT_NE(data.find("\n" + line + "\n"), std::string::npos) << line;
    EXPECT_EQ(data.find("<Temperature>"), std::string::npos);
}

// ---- one row per scenario: how the read of a counter in some state ends

struct Scenario {
    const char* name;
    std::vector<std::pair<std::string, std::string>> settings;  // description keys
    std::vector<std::string> faults;                            // fault plan texts
    int32_t result;
    // What the commands must show: each command and how often it was sent.
    std::vector<std::pair<std::string, size_t>> sent;
    uint32_t retries = 0;
    std::string action;  // PROPERTY_TALLYX_READWRITEACTION
    std::string property = "";  // a property and the value it must have afterwards
    std::string value = "";
    std::string logged = "";    // a line the message log must hold
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

std::string Padded(size_t length) { return std::string(length, 'x'); }

// A user area whose operator initials end past the 1023 characters a read keeps.
std::string OversizedUserArea() {
    return "<TALLYX><V>1.0.0.0</V><SB>20 30</SB><LB>20 40</LB><ST>OH</ST><CT>Oak</CT><CNT>Lake</CNT><ADDR>" +
           Padded(1100) + "</ADDR><LN>NB</LN><SPL>35</SPL><OP>AB</OP></TALLYX>";
}

const Scenario kScenarios[] = {
    {"NoRecordsNoDownload", {{"vehicles", "0"}}, {}, RETCODE_OK,
     {{"GETUSERAREA 3", 1}, {"GETSTUDYDATABINARY*", 0}}, 0, "", PROPERTY_STUDY_NUMRECORDS, "0",
     "Successfully retrieved sequential data (0 bytes)"},
    {"RunningStudyIsStoppedAndReadAgain", {{"statecode", "2"}}, {}, RETCODE_OK,
     {{"CONTROLSTUDY STOP", 1}, {"GETSTUDYINFO", 2}}, 0, "", PROPERTY_STUDY_FCODE, "4",
     "Study is still active. Attempting to stop..."},
    {"FinishedStudyIsLeftAlone", {{"statecode", "0"}}, {}, RETCODE_OK,
     {{"CONTROLSTUDY STOP", 0}, {"GETSTUDYINFO", 1}}, 0, "", PROPERTY_STUDY_FCODE, "0", ""},
    {"StoppedStudyIsLeftAlone", {{"statecode", "4"}}, {}, RETCODE_OK,
     {{"CONTROLSTUDY STOP", 0}, {"GETSTUDYINFO", 1}}, 0, "", PROPERTY_STUDY_FCODE, "4", ""},
    {"RecordSizeSixteenFailsAfterTheUserArea", {{"recordsize", "16"}}, {}, RETCODE_ERR_BADDATATYPE,
     {{"GETUSERAREA 3", 1}, {"GETSTUDYDATABINARY 0 50", 0}}, 0, "", PROPERTY_STUDY_BINRECORDSIZE, "16",
     "Unexpected study record size (16)"},
    {"UserAreaInAnotherOrderParsesTheSame",
     {{"userarea", "<TALLYX><OP>KW</OP><LN>SB</LN><SPL>45</SPL><ADDR>Elm St</ADDR><CNT>Lake</CNT><CT>Oak</CT>"
                   "<ST>OH</ST><LB>20 40</LB><SB>25 35</SB><V>1.0.0.0</V></TALLYX>"}},
     {}, RETCODE_OK, {}, 0, "", PROPERTY_STUDY_SPEEDBINS, "25 35", ""},
    {"UserAreaWithoutVersionFails",
     {{"userarea", "<TALLYX><SB>20 30</SB><LB>20 40</LB><ST>OH</ST><CT>Oak</CT><CNT>Lake</CNT><ADDR>Elm</ADDR>"
                   "<LN>NB</LN><SPL>35</SPL><OP>AB</OP></TALLYX>"}},
     {}, RETCODE_ERR_BADRESPONSE, {{"GETSTUDYDATABINARY 0 50", 0}}, 0, "", "", "",
     "Failed to parse study user area information"},
    {"OversizedUserAreaIsCutAndFails", {{"userarea", OversizedUserArea()}, {"userareablock", "400"}}, {},
     RETCODE_ERR_BADRESPONSE, {{"GETUSERAREA 3", 1}}, 0, "", "", "", "Failed to parse study user area information"},
    {"ChunkRefusedTwiceIsFetchedOnTheThirdAttempt", {}, {"refuse@1x2/GETSTUDYDATABINARY 50 50"}, RETCODE_OK,
     {{"GETSTUDYDATABINARY 50 50", 3}}, 2, "", PROPERTY_STUDY_NUMRECORDS, "120", "Retrying..."},
    {"ChunkRefusedThreeTimesFailsTheRead", {}, {"refuse@1x3/GETSTUDYDATABINARY 50 50"}, RETCODE_ERR_READ,
     {{"GETSTUDYDATABINARY 50 50", 3}, {"GETSTUDYDATABINARY 100 20", 0}}, 3, "", "", "",
     "All (3) retry attempts to retrieve records failed!"},
    {"ShortChunkIsFetchedAgain", {}, {"short=100/GETSTUDYDATABINARY 0 50"}, RETCODE_OK,
     {{"GETSTUDYDATABINARY 0 50", 2}}, 1, "", "", "", ""},
    {"RefusedQueryFailsWithoutRetry", {}, {"refuse/GETFIRMWAREVERSION"}, RETCODE_ERR_READ,
     {{"GETFIRMWAREVERSION", 1}, {"GETBATTERYVOLTAGE", 0}}, 0, "", "", "", ""},
    {"RefusedStopFailsTheRead", {{"statecode", "1"}}, {"refuse/CONTROLSTUDY STOP"}, RETCODE_ERR_READ,
     {{"CONTROLSTUDY STOP", 1}, {"GETSTUDYINFO", 1}}, 0, "", "", "", ""},
    {"LostAnswerIsAskedAgain", {}, {"drop/GETSTUDYINFO"}, RETCODE_OK, {{"GETSTUDYINFO", 2}}, 1, "", "", "", ""},
    {"DeviceInfoActionReadsTheFiveFieldsOnly", {{"statecode", "2"}}, {}, RETCODE_OK,
     {{"GETBATTERYPERCENT", 1}, {"GETSTUDYINFO", 0}, {"CONTROLSTUDY STOP", 0}}, 0, "tallyx_readaction_deviceinfo", "", "", ""},
    {"UnknownActionIsRefused", {}, {}, RETCODE_ERR_INVALIDPROPERTYVALUE, {{"GETSERIALNUMBER", 0}}, 0,
     "TALLYX_READACTION_SOME", "", "", "Invalid property value specified for property PROPERTY_TALLYX_READWRITEACTION"},
    // Counts and fields no counter can mean.
    {"NegativeRecordCountIsRefused",
     {{"studyinfo", "TRAFFIC 0 \"2026-11-02 06:00:00\" \"2026-11-02 08:10:00\" 900 -5 8"}}, {},
     RETCODE_ERR_BADRESPONSE, {{"GETSTUDYDATABINARY 0 50", 0}}, 0, "", PROPERTY_STUDY_NUMRECORDS, "-5",
     "Unexpected number of study records (-5)"},
    {"AbsurdRecordCountIsRefused",
     {{"studyinfo", "TRAFFIC 0 \"2026-11-02 06:00:00\" \"2026-11-02 08:10:00\" 900 99999999999 8"}}, {},
     RETCODE_ERR_BADRESPONSE, {{"GETSTUDYDATABINARY 0 50", 0}}, 0, "", "", "",
     "Unexpected number of study records (2147483647)"},
    {"RecordCountBeyondOneStudyIsRefused",
     {{"studyinfo", "TRAFFIC 0 \"2026-11-02 06:00:00\" \"2026-11-02 08:10:00\" 900 16777217 8"}}, {},
     RETCODE_ERR_BADRESPONSE, {{"GETSTUDYDATABINARY 0 50", 0}}, 0, "", "", "",
     "Unexpected number of study records (16777217)"},
    {"StudyLineOfTwoThousandCharactersFails", {{"studyinfo", Padded(2000)}}, {}, RETCODE_ERR_BADRESPONSE,
     {{"GETUSERAREA 0", 0}}, 0, "", "", "", "Failed to parse study information response"},
    {"LongStudyTypeIsCut",
     {{"studyinfo", Padded(300) + " 0 \"2026-11-02 06:00:00\" \"2026-11-02 08:10:00\" 900 120 8"}}, {}, RETCODE_OK,
     {{"GETSTUDYDATABINARY 100 20", 1}}, 0, "", PROPERTY_STUDY_TYPE, Padded(32), ""},
    {"StudyLineWithoutRecordSizeFails",
     {{"studyinfo", "TRAFFIC 0 \"2026-11-02 06:00:00\" \"2026-11-02 08:10:00\" 900 120 "}}, {},
     RETCODE_ERR_BADRESPONSE, {{"GETUSERAREA 0", 0}}, 0, "", "", "", "Failed to parse study information response"},
};

class ModelBScenarioTest : public ::testing::TestWithParam<Scenario>, public CounterFixture {};

TEST_P(ModelBScenarioTest, EndsAsDocumented) {
    const Scenario& scenario = GetParam();
    SimOptions options = StudyOptions(scenario.settings);
    std::string error;
    for (const std::string& fault : scenario.faults) ASSERT_TRUE(options.faults.Parse(fault, &error)) << error;
    ASSERT_TRUE(StartCounter(options, kCom, &error)) << error;
    TallyxHandle handle = NewContext(kCom);
    if (!scenario.action.empty()) SetProperty(handle, PROPERTY_TALLYX_READWRITEACTION, scenario.action.c_str());

    EXPECT_EQ(ReadDevice(handle), scenario.result);
    const std::vector<std::string> commands = CommandsSent(Counter());
    for (const auto& [command, times] : scenario.sent) {
        EXPECT_EQ(Count(commands, command), times) << command;
    }
    EXPECT_EQ(Statistic(Property(handle, PROPERTY_DEV_STATISTICS), "CommRetries"), scenario.retries);
    if (!scenario.property.empty()) {
        EXPECT_EQ(Property(handle, scenario.property.c_str()), scenario.value);
    }
    if (scenario.result == RETCODE_OK && scenario.action.empty()) {
        const std::vector<Vehicle> vehicles = ExpectedVehiclesB(Counter().GetStudy());
        EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV),
                  ExpectedSequentialCsv(vehicles, FlagDescriptionB));
    } else {
        // A failed or short read leaves no vehicles behind.
        EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_XML), std::vector<std::string>{});
    }
    Term(handle);
    if (!scenario.logged.empty()) {
        EXPECT_NE(MessageLog().find(scenario.logged), std::string::npos) << scenario.logged;
    }
}

INSTANTIATE_TEST_SUITE_P(Reads, ModelBScenarioTest, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

// A begin or end that is no calendar time becomes the null time: the read still
// gives every vehicle, stamped with the null time when the begin is the one,
// with a range of 0, and a warning quotes both texts.
TEST(ModelBStudyTimesTest, TimesThatAreNoCalendarTimeAreTheNullTimeAndTheVehiclesStillCome) {
    constexpr const char* kNull = "0-00-00 00:00:00.000";
    struct Case {
        std::string begin;
        std::string end;
        std::string beginProperty;
        std::string endProperty;
    };
    const Case cases[] = {
        {"yesterday", "2026-11-02 08:10:00", kNull, "2026-11-02 08:10:00.000"},
        {"2026-13-45 99:99:99", "0000-00-00 00:00:00", kNull, kNull},
        {"2026-11-02 06:00:00", "2026-11-02 99:10:00", "2026-11-02 06:00:00.000", kNull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.begin + " / " + c.end);
        CounterFixture fixture;
        std::string error;
        const std::string line = "TRAFFIC 0 \"" + c.begin + "\" \"" + c.end + "\" 900 120 8";
        ASSERT_TRUE(fixture.StartCounter(StudyOptions({{"studyinfo", line}}), kCom, &error)) << error;
        TallyxHandle handle = fixture.NewContext(kCom);
        ASSERT_EQ(ReadDevice(handle), RETCODE_OK);
        EXPECT_EQ(fixture.Property(handle, PROPERTY_STUDY_BEGINDATETIME), c.beginProperty);
        EXPECT_EQ(fixture.Property(handle, PROPERTY_STUDY_ENDDATETIME), c.endProperty);
        EXPECT_EQ(fixture.Property(handle, PROPERTY_STUDY_RANGETIME), "0");
        EXPECT_EQ(fixture.Property(handle, PROPERTY_STUDY_NUMRECORDS), "120");
        std::vector<Vehicle> vehicles = ExpectedVehiclesB(fixture.Counter().GetStudy());
        ASSERT_EQ(vehicles.size(), 120u);
        if (c.beginProperty == kNull) {
            for (Vehicle& v : vehicles) v.time = kNull;
        }
        EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV),
                  ExpectedSequentialCsv(vehicles, FlagDescriptionB));
        EXPECT_LE(Lines(handle, GETVALUE_DATA_PERIODIC, GETVALUE_FORMAT_CSV).size(), 1u);
        Term(handle);
        const std::string log = fixture.MessageLog();
        EXPECT_NE(log.find("Study begin or end time is not a valid date, taken as the null time: begin \"" + c.begin +
                           "\", end \"" + c.end + "\""),
                  std::string::npos)
            << log;
    }
}

TEST(ModelBSilenceTest, ACounterThatNeverAnswersIsAskedThreeTimesEachUntilTheTimeOut) {
    CounterFixture fixture;
    SimOptions options = StudyOptions({});
    options.faults.Add(FaultPlan::Drop("GETSERIALNUMBER", 1, 0));
    std::string error;
    ASSERT_TRUE(fixture.StartCounter(options, kCom, &error)) << error;
    TallyxHandle handle = fixture.NewContext(kCom);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadDevice(handle), RETCODE_ERR_READ);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Three attempts, each ending at the 500 ms receive time-out.
    EXPECT_GE(elapsed, std::chrono::milliseconds(3 * 500));
    EXPECT_EQ(Count(CommandsSent(fixture.Counter()), "GETSERIALNUMBER"), 3u);
    EXPECT_EQ(CommandsSent(fixture.Counter()).size(), 3u);
    EXPECT_EQ(Statistic(fixture.Property(handle, PROPERTY_DEV_STATISTICS), "CommRetries"), 3u);
    Term(handle);
}

}  // namespace
}  // namespace tallyx::e2e

namespace tallyx::e2e {
namespace {

struct ReentryResults {
    int32_t read = 0;
    int32_t write = 0;
    int32_t term = 0;
    int32_t property = -999;
    std::string serial;
};
ReentryResults g_reentry;

int32_t ReenterOnce(TallyxHandle handle, uint32_t step) {
    if (step != 8) return 0;
    char serial[64] = {};
    g_reentry.read = ReadDevice(handle);
    g_reentry.write = WriteDevice(handle);
    g_reentry.term = Term(handle);
    g_reentry.property = GetProperty(handle, PROPERTY_DEV_SERIALNO, serial, sizeof serial);
    g_reentry.serial = serial;
    return 0;
}

TEST(ModelBCallbackTest, ACallbackCanReadPropertiesButNotStartAnotherOperationOrFreeItsContext) {
    CounterFixture fixture;
    std::string error;
    ASSERT_TRUE(fixture.StartCounter(StudyOptions({}), kCom, &error)) << error;
    TallyxHandle handle = fixture.NewContext(kCom);
    SetProgressCallback(handle, ReenterOnce);
    EXPECT_EQ(ReadDevice(handle), RETCODE_OK);
    EXPECT_EQ(g_reentry.read, RETCODE_ERR_INVALIDHANDLE);
    EXPECT_EQ(g_reentry.write, RETCODE_ERR_INVALIDHANDLE);
    EXPECT_EQ(g_reentry.term, RETCODE_ERR_INVALIDHANDLE);
    EXPECT_EQ(g_reentry.property, RETCODE_OK);
    EXPECT_EQ(g_reentry.serial, fixture.Counter().GetDescription().device.serialNumber);
    // The read went on to the end, and the context is still there to be freed once.
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV).size(), 121u);
    EXPECT_EQ(Term(handle), RETCODE_OK);
    EXPECT_EQ(Term(handle), RETCODE_ERR_INVALIDHANDLE);
}

}  // namespace
}  // namespace tallyx::e2e

namespace tallyx::e2e {
namespace {

int32_t StopAtThirdStep(TallyxHandle, uint32_t step) { return step == 3 ? 1 : 0; }

TEST(ModelBAbortTest, AReadStoppedBetweenAnAnswerAndItsDataLineLeavesTheNextReadClean) {
    // The stop comes after the acknowledgement of a query, so its data line is
    // still in the line when the port closes; the next opening must not take it
    // for the counter's wake-up.
    CounterFixture fixture;
    std::string error;
    ASSERT_TRUE(fixture.StartCounter(StudyOptions({}), kCom, &error)) << error;
    TallyxHandle handle = fixture.NewContext(kCom);
    SetProgressCallback(handle, StopAtThirdStep);
    EXPECT_EQ(ReadDevice(handle), RETCODE_ABORTED);
    SetProgressCallback(handle, nullptr);
    EXPECT_EQ(ReadDevice(handle), RETCODE_OK);
    EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV),
              ExpectedSequentialCsv(ExpectedVehiclesB(fixture.Counter().GetStudy()), FlagDescriptionB));
    Term(handle);
}

}  // namespace
}  // namespace tallyx::e2e

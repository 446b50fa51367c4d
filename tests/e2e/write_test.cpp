// Programming simulated counters of both models through WriteDevice: the exact
// commands, the battery judgement and its prompt, the retries of a sequence
// that fails part-way, the discharge actions, studies refused before anything
// is sent, and the round trip of a programmed study back through ReadDevice.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "tallyx_version.h"

namespace tallyx::e2e {
namespace {

using tallysim::Model;
using tallysim::SimOptions;

constexpr unsigned kCom = 7;

size_t CountPrefix(const std::vector<std::string>& commands, const std::string& prefix) {
    return static_cast<size_t>(std::count_if(commands.begin(), commands.end(),
                                             [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

// Midnight at the start of the day that is days after tomorrow, local time, as a
// property text: a begin there stays ahead also when a test runs across midnight.
std::string Midnight(int days, int hour = 0, int minute = 0, int second = 0) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_mday += days + 1;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    std::time_t when = std::mktime(&local);
    localtime_r(&when, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.000", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

// The settings of a study every test programs unless it says otherwise: a
// day from tomorrow's midnight in periods of 15 minutes.
struct StudySettings {
    std::string begin = Midnight(1);
    std::string end = Midnight(2);
    std::string period = "15";
    std::string speedBins = "15,25,35";
    std::string lengthBins = "20 40";
    std::string state = "OH", city = "Oak Park", county = "Lake", address = "Elm St", lane = "NB",
                speedLimit = "35", operatorInitials = "KW";
};

void Apply(TallyxHandle handle, const StudySettings& s) {
    const std::pair<const char*, const std::string*> settings[] = {
        {PROPERTY_STUDY_BEGINDATETIME, &s.begin}, {PROPERTY_STUDY_ENDDATETIME, &s.end},
        {PROPERTY_STUDY_PERIODTIME, &s.period},   {PROPERTY_STUDY_SPEEDBINS, &s.speedBins},
        {PROPERTY_STUDY_LENGTHBINS, &s.lengthBins}, {PROPERTY_STUDY_STATE, &s.state},
        {PROPERTY_STUDY_CITY, &s.city},           {PROPERTY_STUDY_COUNTY, &s.county},
        {PROPERTY_STUDY_ADDRESS, &s.address},     {PROPERTY_STUDY_LANE, &s.lane},
        {PROPERTY_STUDY_SPEEDLIMIT, &s.speedLimit}, {PROPERTY_STUDY_OPERATOR, &s.operatorInitials},
    };
    for (const auto& [name, value] : settings) EXPECT_EQ(SetProperty(handle, name, value->c_str()), RETCODE_OK) << name;
}

int g_prompts = 0;
int32_t g_promptAnswer = 0;
int g_promptDelayMs = 0;
int32_t AnswerPrompt(TallyxHandle, int32_t reason) {
    if (reason != PROMPT_REASON_LOWBATTERY) return 0;
    ++g_prompts;
    if (g_promptDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(g_promptDelayMs));
    return g_promptAnswer;
}

class WriteTest : public ::testing::Test, public CounterFixture {
protected:
    void SetUp() override {
        g_prompts = 0;
        g_promptAnswer = 0;
        g_promptDelayMs = 0;
    }
    void TearDown() override {
        if (handle != nullptr) Term(handle);
    }

    void Start(Model model, const std::vector<std::pair<std::string, std::string>>& keys = {},
               const std::vector<std::string>& faults = {}) {
        SimOptions options(model);
        std::string error;
        for (const auto& [key, value] : keys) ASSERT_TRUE(options.description.Set(key, value, &error)) << error;
        for (const std::string& fault : faults) ASSERT_TRUE(options.faults.Parse(fault, &error)) << error;
        ASSERT_TRUE(StartCounter(options, kCom, &error)) << error;
        handle = NewContext(kCom);
        SetPromptCallback(handle, AnswerPrompt);
    }

    int32_t Program(const StudySettings& settings = {}, const char* action = nullptr) {
        Apply(handle, settings);
        if (action != nullptr) SetProperty(handle, PROPERTY_TALLYX_READWRITEACTION, action);
        const int32_t result = WriteDevice(handle);
        Counter().WaitForClosedSessions(Counter().Sessions(), std::chrono::seconds(20));
        return result;
    }

    // Ends the context, so that its log is complete, and looks for a line in it ("" for none).
    void ExpectLogged(const std::string& logged) {
        Term(handle);
        handle = nullptr;
        if (!logged.empty()) {
            EXPECT_NE(MessageLog().find(logged), std::string::npos) << logged;
        }
    }

    uint32_t Retries() {
        const std::string statistics = Property(handle, PROPERTY_DEV_STATISTICS);
        const size_t at = statistics.find("<CommRetries>");
        return at == std::string::npos ? ~0u : static_cast<uint32_t>(std::stoul(statistics.substr(at + 13)));
    }

    TallyxHandle handle = nullptr;
};

// ---- model A

const std::vector<std::string> kModelAIdentity = {":R:X:7", ":R:X:8", ":F", ":b", ":J"};

TEST_F(WriteTest, ModelASendsEverySettingInItsFormAndStartsTheStudy) {
    Start(Model::A);
    StudySettings study;
    study.begin = Midnight(1, 14, 5, 9);
    study.end = Midnight(2, 14, 5, 9);
    ASSERT_EQ(Program(study), RETCODE_OK);

    // 14:05:09 goes out as ten digits YYMMDDhhmm, the seconds dropped.
    auto digits = [](const std::string& t) { return t.substr(2, 2) + t.substr(5, 2) + t.substr(8, 2) + "1405"; };
    std::vector<std::string> expected = kModelAIdentity;
    for (const std::string& c :
         {std::string(":X"), std::string(":R:F"), std::string(":S:X:0 OH"), std::string(":R:X:0"),
          std::string(":S:X:1 Oak Park"), std::string(":R:X:1"), std::string(":S:X:2 Lake"), std::string(":R:X:2"),
          std::string(":S:X:3 Elm St"), std::string(":R:X:3"), std::string(":S:X:4 NB"), std::string(":R:X:4"),
          std::string(":S:X:5 35"), std::string(":R:X:5"), std::string(":S:X:6 KW"), std::string(":R:X:6"),
          std::string(":S:SF,19,23"), std::string(":R:S"), std::string(":S:L14 28"), std::string(":R:C"),
          ":S:B" + digits(study.begin), std::string(":R:B"), ":S:E" + digits(study.end), std::string(":R:E"),
          std::string(":S:H5A0"), std::string(":R:H"), std::string(":S:PF"), std::string(":R:P")}) {
        expected.push_back(c);
    }

    std::vector<std::string> sent = CommandsSent(Counter());
    ASSERT_GE(sent.size(), expected.size() + 7);
    EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + static_cast<long>(expected.size())), expected);
    // Then the clock, reverse bins off, date encoding on, and the start without an answer.
    const std::vector<std::string> tail(sent.end() - 7, sent.end());
    EXPECT_EQ(tail[0].substr(0, 4), ":S:T");
    EXPECT_EQ(std::vector<std::string>(tail.begin() + 1, tail.end()),
              (std::vector<std::string>{":R:t", ":S:GN", ":R:G", ":S:Q:s", ":R:Q", ":T"}));
    EXPECT_EQ(Property(handle, PROPERTY_STUDY_RANGETIME), "1440");
    EXPECT_EQ(Counter().Programmed().studyStarts, 1u);
    EXPECT_NE(ReadFile(TodaysLog(logs.Path(), "-dump")).find("<WRITE TimeStamp="), std::string::npos);
}

struct ModelAWriteCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> keys;
    std::vector<std::string> faults;
    const char* action;
    int32_t result;
    size_t erases;        // ":X" commands sent
    size_t starts;        // ":T" commands sent
    uint32_t retries;
    std::string logged;
};

void PrintTo(const ModelAWriteCase& c, std::ostream* out) { *out << c.name; }

const ModelAWriteCase kModelACases[] = {
    {"EraseThatNeverFinishesIsTriedTwiceInEachOfThreeAttempts", {{"erasefinishcode", "3"}}, {}, nullptr,
     RETCODE_ERR_ERASEMEMORY, 6, 0, 3, "All 3 EraseFlash/WriteStudy retries failed!"},
    {"RefusedDateEncodingStillStartsTheStudy", {{"dateencodingsupport", "no"}}, {}, nullptr, RETCODE_OK, 1, 1, 0,
     "Device did not accept serial record date encoding command"},
    {"RefusedSettingIsRetriedFromTheErase", {}, {"refuse/:S:X:3*"}, nullptr, RETCODE_OK, 2, 1, 1,
     "EraseFlash/WriteStudy failed! Retrying in 0 ms"},
    {"StopDischargeSendsNothing", {}, {}, TALLYX_WRITEACTION_STOPBATTERYDISCHARGE, RETCODE_OK, 0, 0, 0,
     "Write device was successful"},
    {"StartDischarge", {}, {}, TALLYX_WRITEACTION_STARTBATTERYDISCHARGE, RETCODE_OK, 0, 0, 0, ""},
    {"NoDischargeCircuit", {{"discharge", "no"}}, {}, TALLYX_WRITEACTION_STARTBATTERYDISCHARGE,
     RETCODE_ERR_NOTIMPLEMENTED, 0, 0, 0, "This device does not have discharge circuit"},
    {"ModelBUnitTypeIsRefused", {{"unittype", "ZK220-S"}}, {}, nullptr, RETCODE_ERR_BADUNITTYPE, 0, 0, 0, ""},
    {"UnknownAction", {}, {}, "TALLYX_WRITEACTION_OTHER", RETCODE_ERR_INVALIDPROPERTYVALUE, 0, 0, 0,
     "Invalid property value specified for property PROPERTY_TALLYX_READWRITEACTION (TALLYX_WRITEACTION_OTHER)"},
};

class ModelAWriteTest : public WriteTest, public ::testing::WithParamInterface<ModelAWriteCase> {};

TEST_P(ModelAWriteTest, EndsAsDocumented) {
    const ModelAWriteCase& c = GetParam();
    Start(Model::A, c.keys, c.faults);
    EXPECT_EQ(Program({}, c.action), c.result);
    const std::vector<std::string> sent = CommandsSent(Counter());
    EXPECT_EQ(std::count(sent.begin(), sent.end(), ":X"), static_cast<long>(c.erases));
    EXPECT_EQ(std::count(sent.begin(), sent.end(), ":T"), static_cast<long>(c.starts));
    EXPECT_EQ(Retries(), c.retries);
    if (c.action != nullptr && std::string(c.action) == TALLYX_WRITEACTION_STOPBATTERYDISCHARGE) {
        EXPECT_EQ(sent, kModelAIdentity);
    }
    if (c.action != nullptr && std::string(c.action) == TALLYX_WRITEACTION_STARTBATTERYDISCHARGE &&
        c.result == RETCODE_OK) {
        EXPECT_EQ(Counter().Programmed().dischargeStarts, 1u);
    }
    ExpectLogged(c.logged);
}

INSTANTIATE_TEST_SUITE_P(Writes, ModelAWriteTest, ::testing::ValuesIn(kModelACases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the battery judgement of both models

struct BatteryCase {
    const char* name;
    Model model;
    std::vector<std::pair<std::string, std::string>> keys;
    int days;   // the study runs from tomorrow's midnight this many days
    int hours;  // and hours
    std::string logged;
    bool warns;
};

void PrintTo(const BatteryCase& c, std::ostream* out) { *out << c.name; }

const BatteryCase kBatteryCases[] = {
    {"A_3_80VoltsAlwaysWarns", Model::A, {{"acr", ""}, {"battery", "3.80"}}, 1, 0,
     "Current battery voltage is    3.80 (15 %)", true},
    {"A_3_81VoltsIs30PercentForOneDay", Model::A, {{"acr", ""}, {"battery", "3.81"}}, 1, 0,
     "Current battery voltage is    3.81 (30 %)", false},
    {"A_4_0VoltsWarnsPastTwoDays", Model::A, {{"acr", ""}, {"battery", "4.0"}}, 3, 0,
     "Current battery voltage is    4.00 (50 %)", true},
    {"A_4_0VoltsForTwoDays", Model::A, {{"acr", ""}, {"battery", "4.0"}}, 2, 0,
     "Current battery voltage is    4.00 (50 %)", false},
    {"A_4_5VoltsForTwentyOneDays", Model::A, {{"acr", ""}, {"battery", "4.5"}}, 21, 0,
     "Current battery voltage is    4.50 (100 %)", false},
    {"A_4_5VoltsWarnsPastTwentyOneDays", Model::A, {{"acr", ""}, {"battery", "4.5"}}, 22, 0,
     "Current battery voltage is    4.50 (100 %)", true},
    {"A_4_9VoltsAlwaysWarns", Model::A, {{"acr", ""}, {"battery", "4.9"}}, 1, 0,
     "Current battery voltage is    4.90 (0 %)", true},
    {"A_ChargeOf2000_1500", Model::A, {{"acr", "2000_1500_0_2000"}}, 6, 0,
     "Current battery charge is 1500.00 (75 %)", true},
    {"A_ChargeOfAnEmptyRegister", Model::A, {{"acr", "0.05_1500_0_2000"}}, 1, 0,
     "Current battery charge is 1500.00 (0 %)", true},
    {"B_40PercentForTwoDaysAnd23Hours", Model::B, {{"batterypercent", "40"}}, 2, 23,
     "Current battery charge percentage is 40", false},
    {"B_40PercentForThreeDays", Model::B, {{"batterypercent", "40"}}, 3, 0,
     "Current battery charge percentage is 40", true},
    {"B_90PercentForTwentyOneDays", Model::B, {{"batterypercent", "90"}}, 21, 0,
     "Current battery charge percentage is 90", false},
    {"B_90PercentForTwentyTwoDays", Model::B, {{"batterypercent", "90"}}, 22, 0,
     "Current battery charge percentage is 90", true},
};

class BatteryTest : public WriteTest, public ::testing::WithParamInterface<BatteryCase> {};

TEST_P(BatteryTest, WarnsAndAsksOnlyWhenTheBatteryMayNotLast) {
    const BatteryCase& c = GetParam();
    Start(c.model, c.keys);
    StudySettings study;
    study.end = Midnight(1 + c.days, c.hours);
    // An answer other than 0 stops the write before anything is erased.
    g_promptAnswer = 1;
    EXPECT_EQ(Program(study), c.warns ? RETCODE_ABORTED : RETCODE_OK);
    EXPECT_EQ(g_prompts, c.warns ? 1 : 0);
    const std::vector<std::string> sent = CommandsSent(Counter());
    const char* erase = E2eModelOf(c.model).eraseCommand;
    EXPECT_EQ(std::count(sent.begin(), sent.end(), erase), c.warns ? 0 : 1);
    Term(handle);
    handle = nullptr;
    const std::string log = MessageLog();
    EXPECT_NE(log.find(c.logged), std::string::npos) << c.logged;
    EXPECT_EQ(log.find("Battery may not last for the duration of the study!") != std::string::npos, c.warns);
    EXPECT_EQ(log.find("Operation was aborted by the user (during check battery callback)!") != std::string::npos,
              c.warns);
}

INSTANTIATE_TEST_SUITE_P(Writes, BatteryTest, ::testing::ValuesIn(kBatteryCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- model B

// The user-area document the counter should hold for the settings.
std::string UserAreaOf(const StudySettings& s, const std::string& version) {
    auto e = [](const char* tag, const std::string& text) { return "<" + std::string(tag) + ">" + text + "</" + tag + ">"; };
    return "<TALLYX>" + e("V", version) + e("SB", s.speedBins) + e("LB", s.lengthBins) + e("SPL", s.speedLimit) +
           e("OP", s.operatorInitials) + e("ST", s.state) + e("CT", s.city) + e("CNT", s.county) +
           e("ADDR", s.address) + e("LN", s.lane) + "</TALLYX>";
}

std::string LibraryVersion() {
    std::string version = TALLYX_FILE_VERSION;
    std::replace(version.begin(), version.end(), ',', '.');
    version.erase(std::remove(version.begin(), version.end(), ' '), version.end());
    return version;
}

TEST_F(WriteTest, ModelBProgramsInFiveStepsAndSendsTheUserAreaIn235CharacterBlocks) {
    Start(Model::B);
    // Site texts are short: long bin lists make a long document.
    StudySettings study;
    study.speedBins = "15,25";
    study.speedBins += std::string(600 - 2 - UserAreaOf(study, LibraryVersion()).size(), ' ') + "35";
    const std::string document = UserAreaOf(study, LibraryVersion());
    ASSERT_EQ(document.size(), 600u);
    ASSERT_EQ(Program(study), RETCODE_OK);

    const std::vector<std::string> sent = CommandsSent(Counter());
    ASSERT_EQ(sent.size(), 5u + 4u + 3u);
    EXPECT_EQ(sent[5], "CONTROLBATTERYDISCHARGE STOP");
    EXPECT_EQ(sent[6], "ERASEUSERAREA");
    EXPECT_EQ(sent[7].rfind("SETCLOCK \"", 0), 0u);
    const std::string begin = study.begin.substr(0, 19);
    const std::string end = study.end.substr(0, 19);
    EXPECT_EQ(sent[8], "CONTROLSTUDY PROGRAM TRAFFIC \"" + begin + "\" \"" + end + "\" 900");
    EXPECT_EQ(sent[9], "SETUSERAREA 0 \"" + document.substr(0, 235) + "\"");
    EXPECT_EQ(sent[10], "SETUSERAREA 1 \"" + document.substr(235, 235) + "\"");
    EXPECT_EQ(sent[11], "SETUSERAREA 2 \"" + document.substr(470) + "\"");
    EXPECT_EQ(sent[9].size(), 251u);
    EXPECT_EQ(Counter().Programmed().userAreaBlocks.size(), 3u);
}

struct ModelBWriteCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> keys;
    std::vector<std::string> faults;
    const char* action;
    int32_t result;
    size_t sequences;  // CONTROLBATTERYDISCHARGE STOP commands: one per attempt
    size_t programs;   // CONTROLSTUDY PROGRAM commands
    uint32_t retries;
    std::string logged;
};

void PrintTo(const ModelBWriteCase& c, std::ostream* out) { *out << c.name; }

const ModelBWriteCase kModelBCases[] = {
    {"EmptyActionPrograms", {}, {}, "", RETCODE_OK, 1, 1, 0, "Write device was successful"},
    {"FailedStepRunsTheWholeSequenceAgain", {}, {"refuse/ERASEUSERAREA"}, nullptr, RETCODE_OK, 2, 1, 1,
     "EraseFlash/WriteStudy failed! Retrying in 0 ms"},
    {"UserAreaBlockRefusedTwiceSucceedsOnTheThirdAttempt", {}, {"refuse@1x2/SETUSERAREA 0*"}, nullptr, RETCODE_OK, 3,
     3, 2, ""},
    {"StepRefusedEveryTimeFailsAfterThreeAttempts", {}, {"refuse@1x*/SETCLOCK*"}, nullptr, RETCODE_ERR_READ, 3, 0, 3,
     "All 3 retries to set study failed!"},
    {"StartDischarge", {}, {}, TALLYX_WRITEACTION_STARTBATTERYDISCHARGE, RETCODE_OK, 0, 0, 0,
     "Setting battery discharge to ON"},
    {"StopDischarge", {}, {}, TALLYX_WRITEACTION_STOPBATTERYDISCHARGE, RETCODE_OK, 1, 0, 0,
     "Setting battery discharge to OFF"},
    {"ModelAUnitTypeIsRefused", {{"unittype", "ZK110"}}, {}, nullptr, RETCODE_ERR_BADUNITTYPE, 0, 0, 0, ""},
};

class ModelBWriteTest : public WriteTest, public ::testing::WithParamInterface<ModelBWriteCase> {};

TEST_P(ModelBWriteTest, EndsAsDocumented) {
    const ModelBWriteCase& c = GetParam();
    Start(Model::B, c.keys, c.faults);
    EXPECT_EQ(Program({}, c.action), c.result);
    const std::vector<std::string> sent = CommandsSent(Counter());
    EXPECT_EQ(CountPrefix(sent, "CONTROLBATTERYDISCHARGE STOP"), c.sequences);
    EXPECT_EQ(CountPrefix(sent, "CONTROLSTUDY PROGRAM"), c.programs);
    EXPECT_EQ(Retries(), c.retries);
    ExpectLogged(c.logged);
}

INSTANTIATE_TEST_SUITE_P(Writes, ModelBWriteTest, ::testing::ValuesIn(kModelBCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WriteTest, ModelBStudiesThatCouldNotBeReadBackNeverReachTheCounter) {
    Start(Model::B);
    struct Refusal {
        StudySettings study;
        int32_t result;
        std::string logged;
    };
    std::vector<Refusal> refusals(3);
    refusals[0].study.city = "<Oak>";
    refusals[0].result = RETCODE_ERR_INVALIDPROPERTYVALUE;
    refusals[0].logged = "Property PROPERTY_STUDY_CITY contains an angle bracket";
    refusals[1].study.speedBins = "20>30";
    refusals[1].result = RETCODE_ERR_INVALIDPROPERTYVALUE;
    refusals[1].logged = "Property PROPERTY_STUDY_SPEEDBINS contains an angle bracket";
    refusals[2].study.speedBins = "10" + std::string(900, ' ') + "20";
    refusals[2].result = RETCODE_ERR_BUFFERTOOSMALL;
    refusals[2].logged = "more than the 940 a read gives back";
    for (const Refusal& refusal : refusals) {
        EXPECT_EQ(Program(refusal.study), refusal.result) << refusal.logged;
    }
    // The counter woke up three times and heard nothing.
    EXPECT_EQ(Counter().Sessions(), 3u);
    EXPECT_EQ(Counter().BytesToCounter(), "");
    Term(handle);
    handle = nullptr;
    const std::string log = MessageLog();
    for (const Refusal& refusal : refusals) EXPECT_NE(log.find(refusal.logged), std::string::npos) << refusal.logged;
}

TEST_F(WriteTest, ModelBWakesTheCounterAgainAfterASlowPromptAnswer) {
    Start(Model::B, {{"batterypercent", "10"}});
    g_promptDelayMs = 9000;
    ASSERT_EQ(Program(), RETCODE_OK);
    EXPECT_EQ(g_prompts, 1);
    // The port was opened a second time and the counter greeted it before programming went on.
    EXPECT_EQ(Counter().Sessions(), 2u);
    EXPECT_EQ(Counter().Wakeups(), 2u);
    EXPECT_EQ(CountPrefix(CommandsSent(Counter()), "CONTROLSTUDY PROGRAM"), 1u);
    Term(handle);
    handle = nullptr;
    EXPECT_NE(MessageLog().find("Device stayed idle for too long (9 sec) and needs to be reawaken"), std::string::npos);
}

TEST_F(WriteTest, ModelBAnsweredAtOnceNeedsNoNewWakeUp) {
    Start(Model::B, {{"batterypercent", "10"}});
    ASSERT_EQ(Program(), RETCODE_OK);
    EXPECT_EQ(g_prompts, 1);
    EXPECT_EQ(Counter().Sessions(), 1u);
}

// ---- round trip: what was programmed reads back, in US and in metric units

class RoundTripTest : public WriteTest, public ::testing::WithParamInterface<E2eModel> {};

TEST_P(RoundTripTest, ReadsBackEveryStudySettingTheCounterKeeps) {
    Start(GetParam().model);
    // Programmed in metric units: bins and speed limit in km/h and dm.
    SetProperty(handle, PROPERTY_STUDY_MEASUREMENTUNITS, STUDY_MEASUREMENTUNITS_METRIC);
    StudySettings study;
    // Values that convert to miles per hour and feet and back unchanged.
    study.speedBins = "32 48 65";  // 20 30 40 mph
    study.lengthBins = "61 122";   // 20 40 ft
    study.speedLimit = "57";       // 35 mph
    study.city = "Smith & Sons";
    ASSERT_EQ(Program(study), RETCODE_OK);

    // A fresh context reads the counter.
    Term(handle);
    handle = NewContext(kCom);
    ASSERT_EQ(ReadDevice(handle), RETCODE_OK);
    const std::vector<std::pair<const char*, std::string>> us = {
        {PROPERTY_STUDY_BEGINDATETIME, study.begin}, {PROPERTY_STUDY_ENDDATETIME, study.end},
        {PROPERTY_STUDY_RANGETIME, "1440"},         {PROPERTY_STUDY_PERIODTIME, "15"},
        {PROPERTY_STUDY_SPEEDBINS, "20 30 40"},     {PROPERTY_STUDY_LENGTHBINS, "20 40"},
        {PROPERTY_STUDY_SPEEDLIMIT, "35"},          {PROPERTY_STUDY_STATE, study.state},
        {PROPERTY_STUDY_CITY, study.city},          {PROPERTY_STUDY_COUNTY, study.county},
        {PROPERTY_STUDY_ADDRESS, study.address},    {PROPERTY_STUDY_LANE, study.lane},
        {PROPERTY_STUDY_OPERATOR, study.operatorInitials},
    };
    for (const auto& [name, value] : us) EXPECT_EQ(Property(handle, name), value) << name;
    SetProperty(handle, PROPERTY_STUDY_MEASUREMENTUNITS, STUDY_MEASUREMENTUNITS_METRIC);
    EXPECT_EQ(Property(handle, PROPERTY_STUDY_SPEEDBINS), "32 48 65");
    EXPECT_EQ(Property(handle, PROPERTY_STUDY_LENGTHBINS), "61 122");
    EXPECT_EQ(Property(handle, PROPERTY_STUDY_SPEEDLIMIT), "57");
}

INSTANTIATE_TEST_SUITE_P(Writes, RoundTripTest, ::testing::ValuesIn(E2eModels()),
                         [](const auto& info) { return info.param.Name(); });

}  // namespace
}  // namespace tallyx::e2e

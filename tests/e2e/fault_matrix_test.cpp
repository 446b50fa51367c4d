// Line faults in every phase of reading and programming both counter models,
// one row per scenario. Each operation must end either in success with exactly
// what the counter holds (a retry worked) or in the documented code, with the
// retries counted, within the time its time-outs and retries allow, with the
// port closed, and with the context able to run the next operation cleanly.
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "drivers/counter_models.h"

namespace tallyx::e2e {
namespace {

using tallysim::FaultPlan;
using tallysim::Model;
using tallysim::SimOptions;

constexpr unsigned kCom = 9;

enum class Operation { Read, Write, Discharge };

// CommRetries afterwards. A late answer may arrive while a later attempt waits,
// and spoil it or the next exchange: such rows give the fewest and the most.
struct Retries {
    Retries(uint32_t exactly) : least(exactly), most(exactly) {}
    Retries(uint32_t fewest, uint32_t greatest) : least(fewest), most(greatest) {}
    uint32_t least;
    uint32_t most;
};

struct FaultCase {
    std::string name;
    Model model;
    Operation operation;
    std::vector<std::string> faults;  // fault plan texts
    int32_t result;
    Retries retries;
    // The longest the faults may add to the operation: the time-outs they run
    // into and the stalls they cause.
    uint32_t faultMs;
    // Description keys: a counter whose own state is absurd. The next operation
    // then reads the device information only, which that state does not touch.
    std::vector<std::pair<std::string, std::string>> settings = {};
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

constexpr auto A = Model::A;
constexpr auto B = Model::B;
constexpr auto Read = Operation::Read;
constexpr auto Write = Operation::Write;
constexpr auto Discharge = Operation::Discharge;

// The receive time-out the test contexts use.
constexpr uint32_t T = 500;
// The erase time-out they use.
constexpr uint32_t kEraseMs = 1500;

const std::string kStudyLine = "TRAFFIC 0 \"2026-11-02 06:00:00\" \"2026-11-02 08:10:00\" 900 ";

// Every model, the rows of its wake-up line: named "<letter>_<row>".
const FaultCase kWakeUpCases[] = {
    {"WrongWakeUpLine", A, Read, {"wakeup=wrong"}, RETCODE_ERR_FAILEDTOWAKEUP, 0, 0},
    {"LowerCaseWakeUpLineIsAccepted", A, Read, {"wakeup=lower"}, RETCODE_OK, 0, 0},
    {"ControlByteInWakeUpLine", A, Read, {"wakeup=control"}, RETCODE_ERR_FAILEDTOWAKEUP, 0, 0},
    {"OversizedWakeUpLine", A, Read, {"wakeup=long"}, RETCODE_ERR_FAILEDTOWAKEUP, 0, 0},
    {"WakeUpWithoutLineEnd", A, Read, {"wakeup=endless"}, RETCODE_ERR_FAILEDTOWAKEUP, 0, T},
    {"NoWakeUp", A, Read, {"wakeup=missing"}, RETCODE_ERR_FAILEDTOWAKEUP, 0, T},
};

// The rows of one model's own faults.
const FaultCase kModelCases[] = {
    // ---- model A, identity fields
    {"A_SerialAnswerDropped", A, Read, {"drop/:R:X:7"}, RETCODE_OK, 1, T},
    {"A_FirmwareCheckValueWrong", A, Read, {"garble/:F"}, RETCODE_OK, 1, 0},
    {"A_BatteryCheckValueMissingThrice", A, Read, {"garble@1x3=missing/:b"}, RETCODE_ERR_READNOCRC, 3, 0},
    {"A_ChargeAnswerStalledPastTheTimeOut", A, Read, {"stall=800/:J"}, RETCODE_OK, {1, 3}, T + 800},
    {"A_UnitTypeAnswerShort", A, Read, {"short=3/:R:X:8"}, RETCODE_OK, 1, T},
    {"A_UnitTypeAnswerWithoutEnd", A, Read, {"flood/:R:X:8"}, RETCODE_OK, 1, T},
    // A field the counter refuses stays empty; the read goes on.
    {"A_LaneRefused", A, Read, {"refuse/:R:X:4"}, RETCODE_OK, 0, 0},
    // ---- model A, study fields
    {"A_FinishCodeAnswerDropped", A, Read, {"drop/:R:F"}, RETCODE_OK, 1, T},
    {"A_SpeedBinsCheckValueWrongThrice", A, Read, {"garble@1x3/:R:S"}, RETCODE_ERR_CRC, 3, 0},
    {"A_SiteTextCheckValueInLowerCase", A, Read, {"garble=lower/:R:X:1"}, RETCODE_OK, 1, 0},
    // The rest of a late answer spoils the next attempt too.
    {"A_EndTimeAnswerStalledMidway", A, Read, {"stall=800+4/:R:E"}, RETCODE_OK, {2, 3}, T + 800},
    {"A_LineHungUpInTheStudyFields", A, Read, {"hangup=3/:R:X:3"}, RETCODE_ERR_SENDINGDATA, 3, T},
    {"A_SiteTextOfFourHundredCharacters", A, Read, {}, RETCODE_OK, 0, 0, {{"street", std::string(400, 'S')}}},
    // ---- model A, page downloads
    {"A_SequentialPageCrcWrongOnce", A, Read, {"badcrc/:F:X,9,2"}, RETCODE_OK, 1, 0},
    {"A_PeriodicPageCrcWrongOnce", A, Read, {"badcrc/:F:X,20,1"}, RETCODE_OK, 1, 0},
    {"A_PageDropped", A, Read, {"drop/:F:X,8,2"}, RETCODE_OK, 1, T},
    {"A_PageShort", A, Read, {"short=100/:F:X,9,2"}, RETCODE_OK, 1, T},
    {"A_PageStalledPastTheTimeOut", A, Read, {"stall=800+130/:F:X,8,1"}, RETCODE_OK, {2, 3}, T + 800},
    {"A_PageRefused", A, Read, {"refuse/:F:X,8,2"}, RETCODE_OK, 1, T},
    {"A_PageRefusedEveryTime", A, Read, {"refuse@1x*/:F:X,8,2"}, RETCODE_ERR_READ, 3, 3 * T},
    {"A_LineHungUpMidPage", A, Read, {"hangup=100/:F:X,9,2"}, RETCODE_ERR_SENDINGDATA, 3, T},
    // ---- model A, programming steps
    // The erase answer is awaited for PROPERTY_COMM_WAITAFTERRESETMS.
    {"A_EraseAnswerDropped", A, Write, {"drop/:X"}, RETCODE_OK, 1, kEraseMs},
    {"A_SiteTextRefused", A, Write, {"refuse/:S:X:2*"}, RETCODE_OK, 1, 0},
    // Three spoiled read-backs fail one attempt; the second starts again from the erase.
    {"A_ReadBackCheckValueWrongThrice", A, Write, {"garble@1x3/:R:E"}, RETCODE_OK, 4, 0},
    {"A_BeginTimeAnswerStalled", A, Write, {"stall=800/:S:B*"}, RETCODE_OK, {1, 3}, T + 800},
    {"A_ClockRefusedEveryTime", A, Write, {"refuse@1x*/:S:T*"}, RETCODE_ERR_SENDINGDATA, 3, 0},
    // Every attempt of the sequence tries its first request three times on the dead line.
    {"A_LineHungUpWhileProgramming", A, Write, {"hangup=2/:S:L*"}, RETCODE_ERR_SENDINGDATA, 12, T},
    // An answer that echoes neither this request nor the one before is this
    // request's answer, judged at once: no retry.
    {"A_DischargeAnsweredWithAnotherEcho", A, Discharge, {"answer=:Q/:S:D"}, RETCODE_ERR_BADRESPONSE, 0, 0},

    // ---- model B, identity fields
    {"B_SerialAnswerDropped", B, Read, {"drop/GETSERIALNUMBER"}, RETCODE_OK, 1, T},
    {"B_SerialRefused", B, Read, {"refuse/GETSERIALNUMBER"}, RETCODE_ERR_READ, 0, 0},
    // The late answer serves the second attempt; the second attempt's own must
    // not be taken for the battery voltage.
    {"B_FirmwareAnswerStalledPastTheTimeOut", B, Read, {"stall=800/GETFIRMWAREVERSION", "stall@2=20/GETFIRMWAREVERSION"}, RETCODE_OK, {1, 3}, T + 800},
    {"B_VoltageAnswerShort", B, Read, {"short=1/GETBATTERYVOLTAGE"}, RETCODE_OK, 1, T},
    // A full line buffer is taken as the answer line, and it is no acknowledgement.
    {"B_UnitTypeAnswerWithoutEnd", B, Read, {"flood/GETDEVICETYPE"}, RETCODE_ERR_READ, 0, 0},
    {"B_LineHungUpInTheIdentity", B, Read, {"hangup=1/GETBATTERYPERCENT"}, RETCODE_ERR_SENDINGDATA, 3, T},
    // ---- model B, study fields
    {"B_StudyInfoGarbled", B, Read, {"garble/GETSTUDYINFO"}, RETCODE_ERR_BADRESPONSE, 0, 0},
    {"B_StudyInfoDataLineStalled", B, Read, {"stall=800+3/GETSTUDYINFO"}, RETCODE_ERR_READ, 0, T + 800},
    {"B_UserAreaBlockDropped", B, Read, {"drop/GETUSERAREA 1"}, RETCODE_OK, 1, T},
    {"B_UserAreaBlockRefused", B, Read, {"refuse/GETUSERAREA 2"}, RETCODE_ERR_READ, 0, 0},
    {"B_AbsurdRecordCount", B, Read, {}, RETCODE_ERR_BADRESPONSE, 0, 0,
     {{"studyinfo", kStudyLine + "99999999999 8"}}},
    {"B_StudyLineOfThreeThousandCharacters", B, Read, {}, RETCODE_ERR_BADRESPONSE, 0, 0,
     {{"studyinfo", std::string(3000, 'S')}}},
    // ---- model B, chunk downloads
    {"B_ChunkShort", B, Read, {"short=100/GETSTUDYDATABINARY 0 50"}, RETCODE_OK, 1, T},
    {"B_ChunkDropped", B, Read, {"drop/GETSTUDYDATABINARY 50 50"}, RETCODE_OK, 1, T},
    {"B_ChunkStalledPastTheTimeOut", B, Read, {"stall=800+103/GETSTUDYDATABINARY 50 50"}, RETCODE_OK, {2, 3}, T + 800},
    // The chunk comes whole but late, after its second request, and the answer
    // to that one follows: it must not be taken for the next chunk.
    {"B_ChunkAnswerLate", B, Read, {"stall=800/GETSTUDYDATABINARY 50 50", "stall@2=20/GETSTUDYDATABINARY 50 50"}, RETCODE_OK, {1, 3}, T + 800},
    {"B_ChunkRefusedEveryTime", B, Read, {"refuse@1x*/GETSTUDYDATABINARY 100 20"}, RETCODE_ERR_READ, 3, 0},
    // Three attempts at the chunk, each trying its request three times.
    {"B_LineHungUpMidChunk", B, Read, {"hangup=200/GETSTUDYDATABINARY 50 50"}, RETCODE_ERR_SENDINGDATA, 9, T},
    // ---- model B, programming steps
    {"B_DischargeStopGarbled", B, Write, {"garble/CONTROLBATTERYDISCHARGE STOP"}, RETCODE_OK, 1, 0},
    {"B_EraseRefused", B, Write, {"refuse/ERASEUSERAREA"}, RETCODE_OK, 1, 0},
    {"B_ClockAnswerDropped", B, Write, {"drop/SETCLOCK*"}, RETCODE_OK, 1, T},
    {"B_ProgramAnswerStalled", B, Write, {"stall=800/CONTROLSTUDY PROGRAM*"}, RETCODE_OK, {1, 3}, T + 800},
    {"B_UserAreaBlockRefusedEveryTime", B, Write, {"refuse@1x*/SETUSERAREA 0*"}, RETCODE_ERR_READ, 3, 0},
    {"B_LineHungUpWhileProgramming", B, Write, {"hangup=1/SETUSERAREA 0*"}, RETCODE_ERR_SENDINGDATA, 12, T},
};

// The wake-up rows for every model of the table, then each model's own rows.
std::vector<FaultCase> EveryCase() {
    std::vector<FaultCase> cases;
    for (const E2eModel& row : E2eModels()) {
        for (FaultCase c : kWakeUpCases) {
            c.name = std::string(row.Letter()) + "_" + c.name;
            c.model = row.model;
            cases.push_back(c);
        }
        for (const FaultCase& c : kModelCases) {
            if (c.model == row.model) cases.push_back(c);
        }
    }
    return cases;
}

SimOptions CounterOptions(const FaultCase& c) {
    SimOptions options(c.model);
    std::string error;
    std::vector<std::pair<std::string, std::string>> keys = E2eModelOf(c.model).shortStudy;
    keys.insert(keys.end(), c.settings.begin(), c.settings.end());
    for (const auto& [key, value] : keys) EXPECT_TRUE(options.description.Set(key, value, &error)) << error;
    for (const std::string& fault : c.faults) EXPECT_TRUE(options.faults.Parse(fault, &error)) << error;
    return options;
}

void ApplyStudy(TallyxHandle handle) {
    const std::string begin = StudyDay(1) + " 00:00:00.000";
    const std::string end = StudyDay(2) + " 00:00:00.000";
    const std::pair<const char*, const char*> settings[] = {
        {PROPERTY_STUDY_BEGINDATETIME, begin.c_str()}, {PROPERTY_STUDY_ENDDATETIME, end.c_str()},
        {PROPERTY_STUDY_PERIODTIME, "15"},           {PROPERTY_STUDY_SPEEDBINS, "15,25,35"},
        {PROPERTY_STUDY_LENGTHBINS, "20 40"},        {PROPERTY_STUDY_STATE, "OH"},
        {PROPERTY_STUDY_CITY, "Oak Park"},           {PROPERTY_STUDY_COUNTY, "Lake"},
        {PROPERTY_STUDY_ADDRESS, "Elm St"},          {PROPERTY_STUDY_LANE, "NB"},
        {PROPERTY_STUDY_SPEEDLIMIT, "35"},           {PROPERTY_STUDY_OPERATOR, "KW"},
    };
    for (const auto& [name, value] : settings) EXPECT_EQ(SetProperty(handle, name, value), RETCODE_OK) << name;
}

// Descriptors of this process open on a pseudo-terminal: the counter's own
// ends, and any port the library has left open.
size_t OpenTerminals() {
    size_t count = 0;
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) return 0;
    while (dirent* entry = readdir(folder)) {
        char target[256] = {};
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        if (readlink(path.c_str(), target, sizeof target - 1) <= 0) continue;
        const std::string name = target;
        if (name.rfind("/dev/pts/", 0) == 0 || name == "/dev/ptmx") ++count;
    }
    closedir(folder);
    return count;
}

class FaultMatrixTest : public ::testing::TestWithParam<FaultCase>, public CounterFixture {
protected:
    void TearDown() override {
        if (handle != nullptr) Term(handle);
    }

    int32_t Run(Operation operation) {
        if (operation == Operation::Write) {
            ApplyStudy(handle);
            return WriteDevice(handle);
        }
        if (operation == Operation::Discharge) {
            SetProperty(handle, PROPERTY_TALLYX_READWRITEACTION, TALLYX_WRITEACTION_STARTBATTERYDISCHARGE);
            return WriteDevice(handle);
        }
        return ReadDevice(handle);
    }

    // What the operation left must be what the counter holds.
    void ExpectCounterContent(const FaultCase& c, Operation operation, int32_t result) {
        if (operation == Operation::Discharge) {
            EXPECT_EQ(Counter().Programmed().dischargeOn, result == RETCODE_OK);
            return;
        }
        if (operation == Operation::Write) {
            // A retried sequence may program the counter more than once; model A
            // starts the study last, so a failed sequence never starts it.
            const unsigned starts = Counter().Programmed().studyStarts;
            if (result == RETCODE_OK) {
                EXPECT_GE(starts, 1u);
            } else if (E2eModelOf(c.model).startsStudyLast) {
                EXPECT_EQ(starts, 0u);
            }
            return;
        }
        if (result != RETCODE_OK) {
            EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_XML), std::vector<std::string>{});
            return;
        }
        EXPECT_EQ(Lines(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV),
                  E2eModelOf(c.model).expectedCsv(Counter().GetStudy()));
        // A late answer must never be stored as the answer to another request.
        const auto& device = Counter().GetDescription().device;
        EXPECT_EQ(Property(handle, PROPERTY_DEV_SERIALNO), device.serialNumber);
        EXPECT_EQ(Property(handle, PROPERTY_DEV_UNITTYPE), device.unitType);
        EXPECT_EQ(Property(handle, PROPERTY_DEV_FIRMWAREREV), device.firmware);
        EXPECT_EQ(Property(handle, PROPERTY_DEV_BATTERYVOLTAGE), device.batteryVoltage);
    }

    // The port must be closed once the operation has returned: every opening
    // of it has ended, and no further descriptor is open on a terminal.
    void ExpectPortClosed(size_t terminalsBefore) {
        EXPECT_TRUE(Counter().WaitForClosedSessions(Counter().Sessions(), std::chrono::seconds(20)));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (OpenTerminals() != terminalsBefore && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(OpenTerminals(), terminalsBefore);
    }

    TallyxHandle handle = nullptr;
};

TEST_P(FaultMatrixTest, EndsAsDocumented) {
    const FaultCase& c = GetParam();
    std::string error;
    ASSERT_TRUE(StartCounter(CounterOptions(c), kCom, &error)) << error;
    handle = NewContext(kCom);
    ASSERT_NE(handle, nullptr);
    SetProperty(handle, PROPERTY_COMM_WAITAFTERRESETMS, std::to_string(kEraseMs).c_str());
    const size_t terminals = OpenTerminals();

    const auto start = std::chrono::steady_clock::now();
    const int32_t result = Run(c.operation);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(result, c.result);
    const uint32_t retries = Statistic(Property(handle, PROPERTY_DEV_STATISTICS), "CommRetries");
    EXPECT_GE(retries, c.retries.least);
    EXPECT_LE(retries, c.retries.most);
    // The pause after the wake-up, the work itself (generously, for the
    // sanitizer builds on a busy machine), and what the faults add.
    EXPECT_LE(elapsed.count(), 2000 + 20000 + static_cast<long>(c.faultMs)) << "a hang";
    ExpectPortClosed(terminals);
    ExpectCounterContent(c, c.operation, result);

    // The same context runs the next operation on a sound line; a counter in an
    // absurd state is asked for its device information only.
    Counter().SetFaults(FaultPlan{});
    Operation next = c.operation;
    if (!c.settings.empty() && c.result != RETCODE_OK) {
        EXPECT_EQ(SetProperty(handle, PROPERTY_TALLYX_READWRITEACTION, TALLYX_READACTION_DEVICEINFO), RETCODE_OK);
        EXPECT_EQ(ReadDevice(handle), RETCODE_OK);
        // A late answer must never be stored as the answer to another request.
        const auto& device = Counter().GetDescription().device;
        EXPECT_EQ(Property(handle, PROPERTY_DEV_SERIALNO), device.serialNumber);
        EXPECT_EQ(Property(handle, PROPERTY_DEV_UNITTYPE), device.unitType);
        EXPECT_EQ(Property(handle, PROPERTY_DEV_FIRMWAREREV), device.firmware);
        EXPECT_EQ(Property(handle, PROPERTY_DEV_BATTERYVOLTAGE), device.batteryVoltage);
    } else {
        const unsigned startsBefore = Counter().Programmed().studyStarts;
        const int32_t again = Run(next);
        EXPECT_EQ(again, RETCODE_OK);
        EXPECT_EQ(Statistic(Property(handle, PROPERTY_DEV_STATISTICS), "CommRetries"), 0u);
        if (next == Operation::Write) {
            Counter().WaitForClosedSessions(Counter().Sessions(), std::chrono::seconds(20));
            EXPECT_GE(Counter().Programmed().studyStarts, startsBefore + 1);
        } else if (next == Operation::Discharge) {
            Counter().WaitForClosedSessions(Counter().Sessions(), std::chrono::seconds(20));
            ExpectCounterContent(c, next, again);
        } else {
            ExpectCounterContent(c, next, again);
        }
    }
    ExpectPortClosed(terminals);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(EveryCase()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

// Every model of the table of models has its row in the end-to-end tables.
TEST(E2eModels, EveryModelHasItsRow) {
    ASSERT_EQ(E2eModels().size(), tallyx::CounterModels().size());
    for (size_t i = 0; i < E2eModels().size(); ++i) {
        EXPECT_EQ(E2eModels()[i].Letter(), std::string(tallyx::CounterModels()[i].letter));
    }
}

}  // namespace
}  // namespace tallyx::e2e

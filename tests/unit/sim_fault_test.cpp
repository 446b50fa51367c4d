// Planned faults of the simulated counters: their text form, when they strike, and what they
// do to an answer or a wake-up.
#include <gtest/gtest.h>

#include "checksums.h"
#include "model_a_counter.h"
#include "sim_port_client.h"
#include "sim_recording_output.h"
#include "simulator.h"
#include "traffic_generator.h"

namespace {

using namespace tallysim;
using simtest::AnswerText;
using simtest::AskA;
using simtest::RecordingOutput;

TEST(SimFaultPlan, ReadsTheTextForm) {
    FaultPlan plan;
    std::string error;
    for (const char* text : {"refuse/:R:F", "garble@2/:R:F", "badcrc/:F:X,9,2", "drop@3x2/GETSTUDYINFO",
                             "stall=3000/:X", "stall@2=500+130/:F:X*", "short=100/:F:X*", "hangup@5x*=10/*",
                             "garble=lower/:R:B", "wakeup=lower", "wakeup@2x*=missing", "refusex3/:S*",
                             "answer=:Q/:S:D"}) {
        EXPECT_TRUE(plan.Parse(text, &error)) << text << ": " << error;
    }
    for (const char* text : {"explode/:R:F", "refuse@0/:R:F", "refuse=1/:R:F", "stall/:X", "stall=abc/:X",
                             "garble=upper/:R:F", "wakeup=sleepy", "wakeup=lower/:R:F", "refuse/", "refusex0/:X",
                             "refuse@2junk/:X", "answer/:S:D"}) {
        EXPECT_FALSE(plan.Parse(text, &error)) << text;
    }
}

TEST(SimFaultPlan, StrikesTheChosenOccurrencesOfMatchingCommands) {
    FaultPlan plan;
    ASSERT_TRUE(plan.Parse("refuse@2x2/:R:F", nullptr));
    ASSERT_TRUE(plan.Parse("drop@3x*/:F:X*", nullptr));
    std::vector<bool> refused;
    for (int i = 0; i < 5; ++i) {
        refused.push_back(plan.ForCommand(":R:F").refuse);
        EXPECT_FALSE(plan.ForCommand(":R:B").Any());
    }
    EXPECT_EQ(refused, (std::vector<bool>{false, true, true, false, false}));
    std::vector<bool> dropped;
    for (int i = 0; i < 5; ++i) dropped.push_back(plan.ForCommand(":F:X," + std::to_string(8 + i) + ",2").drop);
    EXPECT_EQ(dropped, (std::vector<bool>{false, false, true, true, true}));
    EXPECT_FALSE(plan.ForCommand(":F").Any());  // exact patterns do not match a longer command
    EXPECT_TRUE(FaultPlan::Matches("*", "anything"));
    EXPECT_FALSE(FaultPlan::Matches(":F:X", ":F:X,8,2"));
    plan.ResetCounters();
    EXPECT_FALSE(plan.ForCommand(":R:F").refuse);
    EXPECT_TRUE(plan.ForCommand(":R:F").refuse);
}

TEST(SimFaultPlan, FaultsOnOneCommandCombine) {
    FaultPlan plan;
    ASSERT_TRUE(plan.Parse("stall=40/:R:F", nullptr));
    ASSERT_TRUE(plan.Parse("garble/:R:F", nullptr));
    const FaultDecision d = plan.ForCommand(":R:F");
    EXPECT_TRUE(d.garble);
    EXPECT_EQ(d.stallMs, 40u);
    EXPECT_EQ(d.applied.size(), 2u);
}

class ModelAFaultTest : public ::testing::Test {
protected:
    void Make(const char* fault) {
        ASSERT_TRUE(faults_.Parse(fault, nullptr)) << fault;
        Description d = Description::Defaults(Model::A);
        d.traffic.vehicles = 80;
        study_ = GenerateStudy(d);
        counter_ = std::make_unique<ModelACounter>(d, study_, &faults_, 0);
        counter_->BeginSession(1);
    }
    RecordingOutput Send(const std::string& command) {
        RecordingOutput out;
        counter_->Receive(FrameModelA(command), out);
        return out;
    }

    FaultPlan faults_;
    Study study_;
    std::unique_ptr<ModelACounter> counter_;
};

TEST_F(ModelAFaultTest, RefusedCommandIsNotCarriedOut) {
    Make("refuse/:X");
    EXPECT_EQ(AnswerText(Send(":X").sent), ":N");
    EXPECT_EQ(counter_->Programmed().erases, 0u);
    EXPECT_NE(static_cast<uint8_t>(Send(":F:X,8,2").sent[0]), 0xFF);
    EXPECT_EQ(AnswerText(Send(":X").sent), ":Y");
    ASSERT_EQ(counter_->Commands().size(), 3u);
    EXPECT_EQ(counter_->Commands()[0].faults, (std::vector<std::string>{"refuse@1x1/:X"}));
}

TEST_F(ModelAFaultTest, GarbledAnswerFailsItsCheckOnce) {
    Make("garble@2/:R:F");
    EXPECT_EQ(AnswerText(Send(":R:F").sent), ":F28");
    const std::string garbled = Send(":R:F").sent;
    EXPECT_EQ(garbled.substr(0, 4), ":F28");
    EXPECT_EQ(AnswerText(garbled), "");
    EXPECT_EQ(AnswerText(Send(":R:F").sent), ":F28");
}

TEST_F(ModelAFaultTest, CorruptedPageCrcIsRightOnTheNextRead) {
    Make("badcrc/:F:X,9,2");
    auto crcOk = [](const std::string& page) {
        const auto* b = reinterpret_cast<const uint8_t*>(page.data());
        return Crc16Modbus(b, 255) == (b[256] | (b[257] << 8));
    };
    EXPECT_TRUE(crcOk(Send(":F:X,8,2").sent));
    const std::string bad = Send(":F:X,9,2").sent;
    ASSERT_EQ(bad.size(), 260u);
    EXPECT_FALSE(crcOk(bad));
    const std::string good = Send(":F:X,9,2").sent;
    EXPECT_TRUE(crcOk(good));
    EXPECT_EQ(bad.substr(0, 256), good.substr(0, 256));
}

TEST_F(ModelAFaultTest, DroppedAnswerSendsNothingButTheCommandIsDone) {
    Make("drop/:S*");
    EXPECT_EQ(Send(":S:X:0 WI").sent, "");
    EXPECT_EQ(AnswerText(Send(":R:X:0").sent), ":X:0 WI");
}

TEST_F(ModelAFaultTest, StallPausesBeforeOrInsideTheAnswer) {
    Make("stall=300+100/:F:X*");
    const RecordingOutput out = Send(":F:X,8,2");
    ASSERT_EQ(out.actions.size(), 3u);
    EXPECT_EQ(out.actions[0].second.size(), 100u);
    EXPECT_EQ(out.actions[1].first, RecordingOutput::Kind::Pause);
    EXPECT_EQ(out.actions[1].second, "300");
    EXPECT_EQ(out.actions[2].second.size(), 160u);
}

TEST_F(ModelAFaultTest, ShortPageAndHangUp) {
    Make("short/:F:X,8,2");
    ASSERT_TRUE(faults_.Parse("hangup=20/:F:X,9,2", nullptr));
    EXPECT_EQ(Send(":F:X,8,2").sent.size(), 130u);
    const RecordingOutput out = Send(":F:X,9,2");
    EXPECT_EQ(out.sent.size(), 20u);
    ASSERT_FALSE(out.actions.empty());
    EXPECT_EQ(out.actions.back().first, RecordingOutput::Kind::HangUp);
}

// Wake-up faults through the real line.
std::string WakeupThroughLine(const char* fault, int opening) {
    simtest::TempDir dir;
    SimOptions options(Model::A);
    options.portDir = dir.Path();
    options.settleMs = 10;
    options.description.traffic.vehicles = 5;
    if (!options.faults.Parse(fault, nullptr)) return "bad fault";
    Simulator sim(options);
    if (!sim.Start()) return "no start";
    simtest::PortClient port;
    std::string got;
    for (int i = 1; i <= opening; ++i) {
        if (!port.Open(sim.PortPath())) return "no open";
        if (!sim.WaitForWakeups(static_cast<unsigned>(i), std::chrono::milliseconds(2000))) return "no wake-up";
        got = port.Read(16, 500);
        port.Close();
        if (!sim.WaitForClosedSessions(static_cast<unsigned>(i), std::chrono::milliseconds(10000))) return "no close";
    }
    return got;
}

TEST(SimWakeupFaults, SpoilTheChosenWakeUp) {
    EXPECT_EQ(WakeupThroughLine("wakeup=lower", 1), "ready\r");
    EXPECT_EQ(WakeupThroughLine("wakeup=wrong", 1), "RESET\r");
    EXPECT_EQ(WakeupThroughLine("wakeup=control", 1), std::string("REA\x01" "DY\r"));
    EXPECT_EQ(WakeupThroughLine("wakeup=missing", 1), "");
    EXPECT_EQ(WakeupThroughLine("wakeup@2=missing", 1), "READY\r");
    EXPECT_EQ(WakeupThroughLine("wakeup@2=missing", 2), "");
}

}  // namespace

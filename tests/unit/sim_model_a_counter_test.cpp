// The simulated model A counter's answers to its command table, driven in-process.
#include <gtest/gtest.h>

#include <string>

#include "model_a_counter.h"
#include "sim_recording_output.h"
#include "traffic_generator.h"

namespace {

using namespace tallysim;
using simtest::AnswerText;
using simtest::AskA;
using simtest::RecordingOutput;

class ModelACounterTest : public ::testing::Test {
protected:
    void Make(const std::vector<std::pair<std::string, std::string>>& settings = {}) {
        description_ = Description::Defaults(Model::A);
        description_.traffic.vehicles = 60;
        for (const auto& [key, value] : settings) {
            std::string error;
            ASSERT_TRUE(description_.Set(key, value, &error)) << error;
        }
        study_ = GenerateStudy(description_);
        counter_ = std::make_unique<ModelACounter>(description_, study_, &faults_, 25);
        counter_->BeginSession(1);
    }
    std::string Ask(const std::string& command) { return AnswerText(AskA(*counter_, command)); }

    Description description_;
    Study study_;
    FaultPlan faults_;
    std::unique_ptr<ModelACounter> counter_;
};

TEST_F(ModelACounterTest, AnswersIdentityAndStudyFields) {
    Make();
    EXPECT_EQ(Ask(":R:X:7"), ":X:7 A1024-0042");
    EXPECT_EQ(Ask(":R:X:8"), ":X:8 ZK110");
    EXPECT_EQ(Ask(":F"), ":F> 3.12");
    EXPECT_EQ(Ask(":R:F"), ":F28");
    EXPECT_EQ(Ask(":R:B"), ":B090302000000");
    EXPECT_EQ(Ask(":R:E"), ":E090303000000");
    EXPECT_EQ(Ask(":R:H"), ":H5A0");  // 1440 minutes
    EXPECT_EQ(Ask(":R:P"), ":PF");
    EXPECT_EQ(Ask(":R:X:0"), ":X:0 MN");
    EXPECT_EQ(Ask(":R:X:3"), ":X:3 Main St");
    EXPECT_EQ(Ask(":R:X:6"), ":X:6 JD");
    EXPECT_EQ(Ask(":R:S"), ":S14 19 1E 23 28 2D 32 37 3C 00");
    EXPECT_EQ(Ask(":R:C"), ":C14 1E 28 32 00");
    EXPECT_EQ(Ask(":R:Q"), ":Q");
    EXPECT_EQ(Ask(":R:G"), ":GN");
    EXPECT_TRUE(counter_->ProtocolErrors().empty());
}

TEST_F(ModelACounterTest, AnswersEveryBatteryForm) {
    Make({{"battery", "3.80"}, {"acr", "2000_1500_7_3000"}});
    EXPECT_EQ(Ask(":b"), ":b 3.80");
    EXPECT_EQ(Ask(":J"), ":J 2000_1500_7_3000");
    Make({{"batteryform", "none"}, {"batteryraw", "0x1A3"}});
    EXPECT_EQ(Ask(":b"), ":b:N");
    EXPECT_EQ(Ask(":B"), ":B1A3");
    Make({{"batteryform", "raw"}, {"battery", "4.05"}, {"acr", ""}});
    // The raw reading derived from the voltage converts back to about that voltage.
    const std::string raw = Ask(":b");
    ASSERT_EQ(raw.substr(0, 2), ":b");
    const double r = std::strtoul(raw.substr(2).c_str(), nullptr, 16);
    EXPECT_NEAR((r - (188.0 - r) * 0.22) * 0.0129 * 1.6, 4.05, 0.03);
    EXPECT_EQ(Ask(":J"), ":J");
}

TEST_F(ModelACounterTest, WritesSettingsAndReadsThemBackAsWritten) {
    Make();
    EXPECT_EQ(Ask(":S:X:0 WI"), ":Y");
    EXPECT_EQ(Ask(":R:X:0"), ":X:0 WI");
    EXPECT_EQ(Ask(":S:SF,19,23"), ":Y");
    const std::string speeds = Ask(":R:S");
    EXPECT_EQ(speeds, ":S0F,19,23,00");
    EXPECT_NE(speeds.find("F,19,23"), std::string::npos);
    EXPECT_EQ(Ask(":S:LA 14 1E"), ":Y");
    EXPECT_EQ(Ask(":R:C"), ":C0A 14 1E 00");
    EXPECT_EQ(Ask(":S:B0903071405"), ":Y");
    EXPECT_EQ(Ask(":R:B"), ":B090307140500");
    EXPECT_EQ(Ask(":S:E0903081405"), ":Y");
    EXPECT_EQ(Ask(":S:H5A0"), ":Y");
    EXPECT_EQ(Ask(":R:H"), ":H5A0");
    EXPECT_EQ(Ask(":S:P1E"), ":Y");
    EXPECT_EQ(Ask(":R:P"), ":P1E");
    EXPECT_EQ(Ask(":S:GN"), ":Y");
    EXPECT_EQ(Ask(":R:G"), ":GN");
    EXPECT_EQ(Ask(":S:Q:s"), ":Y");
    EXPECT_EQ(Ask(":R:Q"), ":Q:s");
    EXPECT_TRUE(counter_->DateEncoding());

    const Programming p = counter_->Programmed();
    EXPECT_EQ(p.values.at(":X:0"), " WI");
    EXPECT_EQ(p.values.at(":S"), "F,19,23");
    EXPECT_EQ(p.values.at(":B"), "0903071405");
    EXPECT_EQ(p.writes.front(), ":S:X:0 WI");
    EXPECT_EQ(p.writes.size(), 9u);
}

TEST_F(ModelACounterTest, RefusesMalformedOrFixedSettings) {
    Make();
    for (const char* command : {":S:B09030714", ":S:B0913071405", ":S:H", ":S:HXYZ", ":S:P0", ":S:X:7 NEW",
                                ":S:T0903071405", ":S:S,,", ":S:D1"}) {
        EXPECT_EQ(Ask(command), ":N") << command;
    }
    EXPECT_TRUE(counter_->Programmed().writes.empty());
    Make({{"dateencodingsupport", "no"}});
    EXPECT_EQ(Ask(":S:Q:s"), ":N");
    EXPECT_EQ(Ask(":R:Q"), ":Q");
}

TEST_F(ModelACounterTest, ClockIsSetAndRunsOn) {
    Make({{"clock", "2009-03-01 10:00:00"}});
    EXPECT_EQ(Ask(":R:t").substr(0, 12), ":t0903011000");
    EXPECT_EQ(Ask(":S:T090307140509"), ":Y");
    EXPECT_EQ(Ask(":R:t").substr(0, 13), ":t09030714050");
    ASSERT_EQ(counter_->Programmed().clockSets.size(), 1u);
    EXPECT_EQ(counter_->Programmed().clockSets[0], (SimDateTime{2009, 3, 7, 14, 5, 9, 0}));
}

TEST_F(ModelACounterTest, RunningStudyCompletesWhenTheClockReachesItsEnd) {
    Make({{"fcode", "running"}});
    EXPECT_EQ(Ask(":R:F"), ":FC");
    // Ten seconds before the end it still runs; at the end it reports the completion code.
    EXPECT_EQ(Ask(":S:T090302235950"), ":Y");
    EXPECT_EQ(Ask(":R:F"), ":FC");
    EXPECT_EQ(Ask(":S:T090303000000"), ":Y");
    EXPECT_EQ(Ask(":R:F"), ":F28");
    // The recorded data stays readable.
    EXPECT_EQ(AskA(*counter_, ":F:X,8,2").size(), 260u);
    EXPECT_NE(static_cast<uint8_t>(AskA(*counter_, ":F:X,8,2")[0]), 0xFF);
}

TEST_F(ModelACounterTest, EraseTakesItsTimeAndEmptiesTheFlash) {
    Make({{"vehicles", "10"}});
    RecordingOutput out;
    counter_->Receive(FrameModelA(":X"), out);
    ASSERT_EQ(out.actions.size(), 2u);
    EXPECT_EQ(out.actions[0].first, RecordingOutput::Kind::Pause);
    EXPECT_EQ(out.actions[0].second, "25");
    EXPECT_EQ(AnswerText(out.actions[1].second), ":Y");
    EXPECT_EQ(Ask(":R:F"), ":F0");
    const std::string page = AskA(*counter_, ":F:X,8,2");
    ASSERT_EQ(page.size(), 260u);
    EXPECT_EQ(page, std::string(260, '\xFF'));
    EXPECT_EQ(counter_->Programmed().erases, 1u);
}

TEST_F(ModelACounterTest, StartAwaitsNoAnswerAndStartsTheStudy) {
    Make({{"clock", "2009-03-01 10:00:00"}});
    EXPECT_EQ(AskA(*counter_, ":T"), "");
    EXPECT_EQ(Ask(":R:F"), ":FB");  // waiting for its begin
    EXPECT_EQ(Ask(":S:T090302120000"), ":Y");
    EXPECT_EQ(Ask(":R:F"), ":FC");  // recording
    EXPECT_EQ(counter_->Programmed().studyStarts, 1u);
}

TEST_F(ModelACounterTest, DischargeNeedsTheCircuit) {
    Make();
    EXPECT_EQ(Ask(":S:D"), ":Y");
    EXPECT_TRUE(counter_->Programmed().dischargeOn);
    Make({{"discharge", "no"}});
    EXPECT_EQ(Ask(":S:D"), ":N");
    EXPECT_FALSE(counter_->Programmed().dischargeOn);
}

TEST_F(ModelACounterTest, ServesPagesAndRejectsBadAddresses) {
    Make();
    const std::string page = AskA(*counter_, ":F:X,8,2");
    ASSERT_EQ(page.size(), 260u);
    EXPECT_EQ(Ask(":F:X,8,4"), ":N");
    EXPECT_EQ(Ask(":F:X,4096,2"), ":N");
    EXPECT_EQ(Ask(":F:X,8"), ":N");
    EXPECT_EQ(Ask(":F:X,-1,2"), ":N");
    EXPECT_EQ(counter_->ProtocolErrors().size(), 4u);
}

TEST_F(ModelACounterTest, IgnoresBadFramesAndRecordsThem) {
    Make();
    RecordingOutput out;
    counter_->Receive(":R:F|c\r", out);     // lower-case check value
    counter_->Receive(":R:F\r", out);       // none at all
    counter_->Receive("\n\n" + FrameModelA(":R:F"), out);  // line feeds before a frame are skipped
    EXPECT_EQ(AnswerText(out.sent), ":F28");
    EXPECT_EQ(counter_->ProtocolErrors().size(), 2u);
    EXPECT_EQ(Ask(":Q"), ":N");
    ASSERT_EQ(counter_->Commands().size(), 2u);
    EXPECT_EQ(counter_->Commands()[0].command, ":R:F");
}

TEST_F(ModelACounterTest, SurvivesArbitraryBytes) {
    Make();
    RecordingOutput out;
    uint32_t x = 12345;
    std::string noise;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        noise += static_cast<char>(x >> 24);
    }
    counter_->Receive(noise, out);
    counter_->Receive(std::string(5000, 'A'), out);  // far beyond any frame
    counter_->Receive("\r" + FrameModelA(":R:F"), out);
    EXPECT_GE(out.sent.size(), 6u);
    EXPECT_EQ(AnswerText(out.sent.substr(out.sent.rfind(":F28"))), ":F28");
}

TEST(SimModelABins, RenderKeepsSeparatorsAndClosesWithZero) {
    EXPECT_EQ(ModelACounter::RenderBins("A 14 1E"), "0A 14 1E 00");
    EXPECT_EQ(ModelACounter::RenderBins("F,19,23"), "0F,19,23,00");
    EXPECT_EQ(ModelACounter::RenderBins("5"), "05 00");
    EXPECT_EQ(ModelACounter::RenderBins("100;1FF;"), "100;1FF;00");
    EXPECT_EQ(ModelACounter::RenderBins(""), "00");
}

}  // namespace

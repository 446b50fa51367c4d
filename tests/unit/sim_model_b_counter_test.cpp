// The simulated model B counter's line answers, binary records and user area, driven
// in-process.
#include <gtest/gtest.h>

#include "model_b_counter.h"
#include "sim_recording_output.h"
#include "traffic_generator.h"

namespace {

using namespace tallysim;
using simtest::RecordingOutput;

class ModelBCounterTest : public ::testing::Test {
protected:
    void Make(const std::vector<std::pair<std::string, std::string>>& settings = {}) {
        description_ = Description::Defaults(Model::B);
        description_.traffic.vehicles = 120;
        for (const auto& [key, value] : settings) {
            std::string error;
            ASSERT_TRUE(description_.Set(key, value, &error)) << error;
        }
        study_ = GenerateStudy(description_);
        counter_ = std::make_unique<ModelBCounter>(description_, study_, &faults_);
        counter_->BeginSession(1);
    }
    std::string Ask(const std::string& line) {
        RecordingOutput out;
        counter_->Receive(line + "\n", out);
        return out.sent;
    }
    // The data line of a query, without its line end ("<refused>" when not acknowledged).
    std::string Query(const std::string& line) {
        const std::string answer = Ask(line);
        if (answer.rfind("Y\r\n", 0) != 0) return "<refused>";
        const std::string data = answer.substr(3);
        if (data.size() < 2 || data.substr(data.size() - 2) != "\r\n") return "<no data line>";
        return data.substr(0, data.size() - 2);
    }

    Description description_;
    Study study_;
    FaultPlan faults_;
    std::unique_ptr<ModelBCounter> counter_;
};

TEST_F(ModelBCounterTest, AnswersQueriesWithAnAcknowledgementAndADataLine) {
    Make({{"battery", "6.10"}, {"batterypercent", "40"}});
    EXPECT_EQ(Ask("GETSERIALNUMBER"), "Y\r\nB2048-0117\r\n");
    EXPECT_EQ(Query("GETDEVICETYPE"), "ZK220");
    EXPECT_EQ(Query("GETFIRMWAREVERSION"), "2.0.7");
    EXPECT_EQ(Query("GETBATTERYVOLTAGE"), "6.10");
    EXPECT_EQ(Query("GETBATTERYPERCENT"), "40");
    EXPECT_EQ(Query("GETSTUDYINFO"), "TRAFFIC 0 \"2009-03-02 00:00:00\" \"2009-03-03 00:00:00\" 900 120 8");
    EXPECT_TRUE(counter_->ProtocolErrors().empty());
}

TEST_F(ModelBCounterTest, AcceptsACarriageReturnBeforeTheLineFeed) {
    Make();
    RecordingOutput out;
    counter_->Receive("GETDEVICE", out);
    counter_->Receive("TYPE\r\n", out);
    EXPECT_EQ(out.sent, "Y\r\nZK220\r\n");
}

TEST_F(ModelBCounterTest, SendsEightBytesPerRequestedRecord) {
    Make();
    const std::string answer = Ask("GETSTUDYDATABINARY 100 20");
    ASSERT_EQ(answer.size(), 3u + 160u);
    EXPECT_EQ(answer.substr(0, 3), "Y\r\n");
    const int64_t begin = study_.begin.ToMillis();
    for (size_t i = 0; i < 20; ++i) {
        const auto expected = EncodeModelBRecord(study_.vehicles[100 + i], begin);
        EXPECT_EQ(answer.substr(3 + i * 8, 8), std::string(expected.begin(), expected.end())) << i;
    }
    EXPECT_EQ(Ask("GETSTUDYDATABINARY 0 0"), "Y\r\n");
    EXPECT_EQ(Ask("GETSTUDYDATABINARY 100 21"), "N\r\n");  // beyond the last record
    EXPECT_EQ(Ask("GETSTUDYDATABINARY 4294967295 4294967295"), "N\r\n");
    EXPECT_EQ(Ask("GETSTUDYDATABINARY -1 5"), "N\r\n");
    EXPECT_EQ(Ask("GETSTUDYDATABINARY 5"), "N\r\n");
}

TEST_F(ModelBCounterTest, ReportsTheRecordSizeItWasGiven) {
    Make({{"recordsize", "16"}});
    const std::string info = Query("GETSTUDYINFO");
    EXPECT_EQ(info.substr(info.size() - 7), " 120 16");
    EXPECT_EQ(Ask("GETSTUDYDATABINARY 0 2").size(), 3u + 32u);
}

TEST_F(ModelBCounterTest, UserAreaBlocksReassembleToTheDocument) {
    Make({{"street", std::string(200, 'x')}});
    const std::string document = ModelBCounter::BuildUserArea(description_.study);
    ASSERT_GT(document.size(), 235u);
    ASSERT_LT(document.size(), 470u);
    // Gathered the way a reader gathers them: block 0, then each further block after dropping
    // the last character so far.
    std::string gathered = Query("GETUSERAREA 0");
    for (int k = 1; k <= 3; ++k) {
        gathered.pop_back();
        gathered += Query("GETUSERAREA " + std::to_string(k));
    }
    EXPECT_EQ(gathered, document + "\"");
    EXPECT_NE(document.find("<ADDR>" + std::string(200, 'x') + "</ADDR>"), std::string::npos);
    EXPECT_NE(document.find("<V>1.0.0.0</V><SB>20 25 30 35 40 45 50 55 60</SB>"), std::string::npos);
}

TEST_F(ModelBCounterTest, StoresEverythingAfterTheFirstQuoteOfASetLine) {
    Make();
    EXPECT_EQ(Ask("ERASEUSERAREA"), "Y\r\n");
    EXPECT_EQ(Query("GETUSERAREA 0"), "\"");
    EXPECT_EQ(Ask("SETUSERAREA 0 \"<TALLYX><V>1.5.0.0</V>\""), "Y\r\n");
    EXPECT_EQ(Ask("SETUSERAREA 1 \"<SB>1 \"2\"</SB>\""), "Y\r\n");
    EXPECT_EQ(Query("GETUSERAREA 0"), "<TALLYX><V>1.5.0.0</V>\"");
    EXPECT_EQ(Query("GETUSERAREA 1"), "<SB>1 \"2\"</SB>\"");
    EXPECT_EQ(Query("GETUSERAREA 2"), "\"");
    EXPECT_EQ(Ask("SETUSERAREA 16 \"x\""), "N\r\n");
    EXPECT_EQ(Ask("SETUSERAREA 1 no quote"), "N\r\n");
    EXPECT_EQ(Ask("GETUSERAREA x"), "N\r\n");
    const Programming p = counter_->Programmed();
    EXPECT_EQ(p.erases, 1u);
    EXPECT_EQ(p.userAreaBlocks.at(1), "<SB>1 \"2\"</SB>\"");
    EXPECT_EQ(p.UserAreaDocument(), "<TALLYX><V>1.5.0.0</V><SB>1 \"2\"</SB>");
}

TEST_F(ModelBCounterTest, StopEndsOnlyARunningStudy) {
    Make({{"statecode", "2"}});
    EXPECT_EQ(counter_->StudyState(), 2u);
    EXPECT_EQ(Ask("CONTROLSTUDY STOP"), "Y\r\n");
    EXPECT_EQ(counter_->StudyState(), 4u);
    EXPECT_EQ(Query("GETSTUDYINFO").substr(0, 9), "TRAFFIC 4");
    Make();
    EXPECT_EQ(Ask("CONTROLSTUDY STOP"), "Y\r\n");
    EXPECT_EQ(counter_->StudyState(), 0u);
    EXPECT_EQ(counter_->Programmed().studyStops, 1u);
}

TEST_F(ModelBCounterTest, RunningStudyEndsWhenItsClockPassesTheEnd) {
    Make({{"statecode", "1"}, {"clock", "2009-03-01 12:00:00"}});
    EXPECT_EQ(counter_->StudyState(), 1u);
    EXPECT_EQ(Ask("SETCLOCK \"2009-03-02 00:00:01\""), "Y\r\n");
    EXPECT_EQ(counter_->StudyState(), 2u);
    EXPECT_EQ(Ask("SETCLOCK \"2009-03-03 00:00:00\""), "Y\r\n");
    EXPECT_EQ(counter_->StudyState(), 0u);
    EXPECT_EQ(counter_->Programmed().clockSets.back(), (SimDateTime{2009, 3, 3, 0, 0, 0, 0}));
    EXPECT_EQ(Ask("SETCLOCK 2009-03-03 00:00:00"), "N\r\n");
    EXPECT_EQ(Ask("SETCLOCK \"2009-13-03 00:00:00\""), "N\r\n");
}

TEST_F(ModelBCounterTest, ProgramsAStudy) {
    Make({{"clock", "2009-03-01 12:00:00"}});
    EXPECT_EQ(Ask("CONTROLSTUDY PROGRAM TRAFFIC \"2009-03-07 14:00:00\" \"2009-03-08 14:00:00\" 900"), "Y\r\n");
    EXPECT_EQ(Query("GETSTUDYINFO"), "TRAFFIC 1 \"2009-03-07 14:00:00\" \"2009-03-08 14:00:00\" 900 0 8");
    const Programming p = counter_->Programmed();
    EXPECT_TRUE(p.studyProgrammed);
    EXPECT_EQ(p.studyType, "TRAFFIC");
    EXPECT_EQ(p.begin, (SimDateTime{2009, 3, 7, 14, 0, 0, 0}));
    EXPECT_EQ(p.periodSeconds, 900);
    for (const char* bad : {"CONTROLSTUDY PROGRAM TRAFFIC \"2009-03-08 14:00:00\" \"2009-03-07 14:00:00\" 900",
                            "CONTROLSTUDY PROGRAM TRAFFIC \"2009-03-07 14:00:00\" \"2009-03-08 14:00:00\" 0",
                            "CONTROLSTUDY PROGRAM TRAFFIC \"2009-03-07 14:00:00\" \"2009-03-08 14:00:00\"",
                            "CONTROLSTUDY PROGRAM TRAFFIC 2009-03-07 2009-03-08 900", "CONTROLSTUDY START"}) {
        EXPECT_EQ(Ask(bad), "N\r\n") << bad;
    }
    EXPECT_EQ(counter_->Programmed().studyStarts, 1u);
}

TEST_F(ModelBCounterTest, SwitchesBatteryDischarge) {
    Make();
    EXPECT_EQ(Ask("CONTROLBATTERYDISCHARGE START"), "Y\r\n");
    EXPECT_TRUE(counter_->Programmed().dischargeOn);
    EXPECT_EQ(Ask("CONTROLBATTERYDISCHARGE STOP"), "Y\r\n");
    EXPECT_FALSE(counter_->Programmed().dischargeOn);
    EXPECT_EQ(Ask("CONTROLBATTERYDISCHARGE MAYBE"), "N\r\n");
    EXPECT_EQ(counter_->Programmed().writes.size(), 2u);
}

TEST_F(ModelBCounterTest, RefusesUnknownCommandsAndSurvivesGarbage) {
    Make();
    EXPECT_EQ(Ask("HELLO"), "N\r\n");
    EXPECT_EQ(Ask("GETSERIALNUMBER now"), "N\r\n");
    EXPECT_EQ(counter_->ProtocolErrors().size(), 2u);
    RecordingOutput out;
    std::string noise;
    uint32_t x = 99;
    for (int i = 0; i < 100000; ++i) {
        x = x * 1664525u + 1013904223u;
        noise += static_cast<char>(x >> 24);
    }
    counter_->Receive(noise, out);
    counter_->Receive(std::string(3000, 'Q'), out);
    counter_->Receive("\nGETDEVICETYPE\n", out);
    EXPECT_EQ(out.sent.substr(out.sent.size() - 10), "Y\r\nZK220\r\n");
}

TEST_F(ModelBCounterTest, FaultsSpoilAnswersInTheirWay) {
    ASSERT_TRUE(faults_.Parse("refuse/GETSTUDYINFO", nullptr));
    ASSERT_TRUE(faults_.Parse("garble@2/GETSTUDYINFO", nullptr));
    ASSERT_TRUE(faults_.Parse("garble/GETSTUDYDATABINARY*", nullptr));
    ASSERT_TRUE(faults_.Parse("garble/CONTROLSTUDY STOP", nullptr));
    ASSERT_TRUE(faults_.Parse("short=3/GETSERIALNUMBER", nullptr));
    Make();
    EXPECT_EQ(Ask("GETSTUDYINFO"), "N\r\n");
    const std::string garbled = Query("GETSTUDYINFO");
    EXPECT_EQ(garbled.find('"'), std::string::npos);
    EXPECT_EQ(garbled.find('2'), std::string::npos);
    EXPECT_EQ(Query("GETSTUDYINFO").substr(0, 9), "TRAFFIC 0");
    const std::string binary = Ask("GETSTUDYDATABINARY 0 1");
    const auto expected = EncodeModelBRecord(study_.vehicles[0], study_.begin.ToMillis());
    ASSERT_EQ(binary.size(), 11u);
    EXPECT_EQ(static_cast<uint8_t>(binary[3]), expected[0] ^ 0xA5);
    EXPECT_EQ(Ask("CONTROLSTUDY STOP"), "?\r\n");
    EXPECT_EQ(Ask("GETSERIALNUMBER"), "Y\r\n");
}

}  // namespace

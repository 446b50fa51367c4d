// The simulator's line through a real pseudo-terminal: the published COM path, the wake-up on
// every opening, answers, pacing, hang-ups and the transcript.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "model_a_frame.h"
#include "model_b_counter.h"
#include "sim_port_client.h"
#include "simulator.h"

namespace {

using namespace tallysim;
using simtest::PortClient;
using simtest::TempDir;
using namespace std::chrono_literals;

SimOptions FastOptions(Model model, const std::string& dir, unsigned com = 4) {
    SimOptions options(model);
    options.portDir = dir;
    options.comNumber = com;
    options.settleMs = 20;
    options.eraseDelayMs = 10;
    options.description.traffic.vehicles = 100;
    return options;
}

TEST(SimLine, PublishesTheComPathAndRemovesItAtStop) {
    TempDir dir;
    Simulator sim(FastOptions(Model::A, dir.Path(), 7));
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    const std::string link = dir.Path() + "/COM7";
    EXPECT_EQ(sim.PortPath(), link);
    struct stat st{};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(sim.SlavePath(), target);
    sim.Stop();
    EXPECT_NE(lstat(link.c_str(), &st), 0);
}

TEST(SimLine, RefusesToReplaceSomethingThatIsNotALink) {
    TempDir dir;
    const std::string path = dir.Path() + "/COM2";
    FILE* f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    Simulator sim(FastOptions(Model::A, dir.Path(), 2));
    std::string error;
    EXPECT_FALSE(sim.Start(&error));
    EXPECT_NE(error.find("COM2"), std::string::npos);
}

// Opens the port of a started counter and reads its whole wake-up line: model A's
// "READY\r", or a line of model B's with READY in it.
::testing::AssertionResult OpenAwake(const Simulator& sim, PortClient& port) {
    if (!port.Open(sim.PortPath())) return ::testing::AssertionFailure() << "cannot open " << sim.PortPath();
    const bool modelA = sim.GetModel() == Model::A;
    const std::string line = modelA ? port.Read(6, 10000) : port.ReadUntil('\n', 10000);
    if (modelA ? line != "READY\r" : line.find("READY") == std::string::npos) {
        return ::testing::AssertionFailure() << "woke up with " << line;
    }
    return ::testing::AssertionSuccess();
}

TEST(SimLine, WakesUpOnEveryOpeningAndThenWaitsForCommands) {
    TempDir dir;
    Simulator sim(FastOptions(Model::A, dir.Path()));
    ASSERT_TRUE(sim.Start());
    PortClient port;
    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(port.Open(sim.PortPath()));
        EXPECT_EQ(port.Read(6, 10000), "READY\r") << round;
        EXPECT_EQ(port.Read(1, 100), "") << "nothing follows the wake-up";
        ASSERT_TRUE(port.Write(FrameModelA(":R:X:8")));
        EXPECT_EQ(port.ReadUntil('\r', 10000), FrameModelA(":X:8 ZK110"));
        port.Close();
        // The simulator has seen this opening end before the next one.
        ASSERT_TRUE(sim.WaitForClosedSessions(static_cast<unsigned>(round), 10s));
    }
    EXPECT_EQ(sim.Sessions(), 3u);
    EXPECT_TRUE(sim.ProtocolErrors().empty());
}

TEST(SimLine, NoticesACloseFollowedAtOnceByAReopen) {
    TempDir dir;
    Simulator sim(FastOptions(Model::A, dir.Path()));
    ASSERT_TRUE(sim.Start());
    PortClient port;
    ASSERT_TRUE(OpenAwake(sim, port));
    port.Close();
    ASSERT_TRUE(port.Open(sim.PortPath()));  // no pause between the two
    EXPECT_EQ(port.Read(6, 10000), "READY\r");
    EXPECT_EQ(sim.Sessions(), 2u);
}

TEST(SimLine, AnOpeningTooShortForTheWakeUpLeavesNothingBehind) {
    TempDir dir;
    SimOptions options = FastOptions(Model::A, dir.Path());
    options.settleMs = 1000;
    Simulator sim(options);
    ASSERT_TRUE(sim.Start());
    PortClient port;
    ASSERT_TRUE(port.Open(sim.PortPath()));
    port.Close();  // like a program that only probes whether the port exists
    ASSERT_TRUE(port.Open(sim.PortPath()));
    EXPECT_EQ(port.Read(6, 5000), "READY\r");
    EXPECT_EQ(port.Read(1, 100), "");
}

TEST(SimLine, ModelBWakesUpWithItsModelName) {
    TempDir dir;
    Simulator sim(FastOptions(Model::B, dir.Path()));
    ASSERT_TRUE(sim.Start());
    PortClient port;
    ASSERT_TRUE(port.Open(sim.PortPath()));
    const std::string line = port.ReadUntil('\n', 10000);
    EXPECT_NE(line.find("READY"), std::string::npos);
    EXPECT_NE(line.find("ZK220"), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
}

TEST(SimLine, HangUpReplacesThePortUnderTheSamePath) {
    TempDir dir;
    SimOptions options = FastOptions(Model::A, dir.Path());
    options.faults.Add(FaultPlan::HangUp(":F:X*", 100));
    options.hangUpLingerMs = 10;
    Simulator sim(options);
    ASSERT_TRUE(sim.Start());
    const std::string firstSlave = sim.SlavePath();
    PortClient port;
    ASSERT_TRUE(OpenAwake(sim, port));
    ASSERT_TRUE(port.Write(FrameModelA(":F:X,8,2")));
    bool hungUp = false;
    const std::string part = port.Read(260, 2000, &hungUp);
    EXPECT_LE(part.size(), 100u);
    EXPECT_TRUE(hungUp);
    EXPECT_EQ(sim.HangUps(), 1u);
    EXPECT_NE(sim.SlavePath(), firstSlave);
    port.Close();
    // The next opening reaches the new line, and the page now comes whole.
    ASSERT_TRUE(OpenAwake(sim, port));
    ASSERT_TRUE(port.Write(FrameModelA(":F:X,8,2")));
    EXPECT_EQ(port.Read(260, 10000).size(), 260u);
}

TEST(SimLine, PacedOutputTakesTheTimeOfTheLine) {
    TempDir dir;
    SimOptions options = FastOptions(Model::A, dir.Path());
    options.baud = 19200;  // 1920 bytes a second: a page takes about 135 ms
    Simulator sim(options);
    ASSERT_TRUE(sim.Start());
    PortClient port;
    ASSERT_TRUE(OpenAwake(sim, port));
    ASSERT_TRUE(port.Write(FrameModelA(":F:X,8,2")));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(260, 3000).size(), 260u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 110ms);
}

TEST(SimLine, TranscriptHoldsEveryByteEachWay) {
    TempDir dir;
    SimOptions options = FastOptions(Model::A, dir.Path());
    options.transcriptFile = dir.Path() + "/transcript.txt";
    Simulator sim(options);
    ASSERT_TRUE(sim.Start());
    PortClient port;
    ASSERT_TRUE(OpenAwake(sim, port));
    ASSERT_TRUE(port.Write(FrameModelA(":R:F")));
    ASSERT_EQ(port.ReadUntil('\r', 10000), FrameModelA(":F28"));
    port.Close();
    ASSERT_TRUE(sim.WaitForClosedSessions(1, 10s));
    sim.Stop();
    EXPECT_EQ(sim.BytesToCounter(), FrameModelA(":R:F"));
    EXPECT_EQ(sim.BytesFromCounter(), "READY\r" + FrameModelA(":F28"));
    const auto entries = sim.TranscriptEntries();
    ASSERT_GE(entries.size(), 5u);
    EXPECT_EQ(entries.front().direction, Direction::Event);
    EXPECT_EQ(entries.front().bytes, "port opened");
    EXPECT_EQ(entries.back().bytes, "port closed");
    FILE* f = fopen(options.transcriptFile.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char text[4096] = {};
    const size_t n = fread(text, 1, sizeof text - 1, f);
    fclose(f);
    EXPECT_NE(std::string(text, n).find("3A 52 3A 46 7C 43 0D"), std::string::npos);
}

TEST(SimLine, ServesALargeBinaryDownloadWhole) {
    TempDir dir;
    SimOptions options = FastOptions(Model::B, dir.Path());
    options.description.traffic.vehicles = 200000;
    Simulator sim(options);
    ASSERT_TRUE(sim.Start());
    PortClient port;
    ASSERT_TRUE(OpenAwake(sim, port));
    ASSERT_TRUE(port.Write("GETSTUDYDATABINARY 0 200000\n"));
    const std::string answer = port.Read(3 + 1'600'000, 10000);
    ASSERT_EQ(answer.size(), 3u + 1'600'000u);
    EXPECT_EQ(answer.substr(0, 3), "Y\r\n");
    const int64_t begin = sim.GetStudy().begin.ToMillis();
    for (size_t i : {size_t{0}, size_t{123457}, size_t{199999}}) {
        const auto record = EncodeModelBRecord(sim.GetStudy().vehicles[i], begin);
        EXPECT_EQ(answer.substr(3 + i * 8, 8), std::string(record.begin(), record.end())) << i;
    }
}

TEST(SimLine, HearsNothingBeforeTheWakeUpNorWhileAsleep) {
    TempDir dir;
    SimOptions options = FastOptions(Model::A, dir.Path());
    // A settling time that the early command below never outlasts.
    options.settleMs = 1000;
    // Long enough for the exchange right after the wake-up on a busy machine.
    options.idleSleepMs = 600;
    Simulator sim(options);
    ASSERT_TRUE(sim.Start());
    PortClient port;
    ASSERT_TRUE(port.Open(sim.PortPath()));
    ASSERT_TRUE(port.Write(FrameModelA(":R:F")));  // too early: the counter is not awake yet
    EXPECT_EQ(port.Read(6, 5000), "READY\r");
    ASSERT_TRUE(port.Write(FrameModelA(":R:F")));
    EXPECT_EQ(port.ReadUntil('\r', 5000), FrameModelA(":F28"));
    EXPECT_EQ(port.Read(1, 50), "") << "the early command stays unheard";
    // Until the counter has fallen asleep.
    const auto fellAsleep = [&sim] {
        for (const auto& entry : sim.TranscriptEntries())
            if (entry.bytes == "counter fell asleep") return true;
        return false;
    };
    for (int i = 0; i < 1000 && !fellAsleep(); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(fellAsleep());
    ASSERT_TRUE(port.Write(FrameModelA(":R:F")));
    EXPECT_EQ(port.Read(64, 300), "") << "asleep";
    port.Close();
    ASSERT_TRUE(sim.WaitForClosedSessions(1, 10s));
    ASSERT_TRUE(port.Open(sim.PortPath()));
    EXPECT_EQ(port.Read(6, 5000), "READY\r");
    ASSERT_TRUE(port.Write(FrameModelA(":R:F")));
    EXPECT_EQ(port.ReadUntil('\r', 5000), FrameModelA(":F28"));
    EXPECT_EQ(sim.Commands().size(), 2u);
}

TEST(SimLine, GarbageOnTheLineNeitherCrashesNorStopsTheCounter) {
    TempDir dir;
    Simulator sim(FastOptions(Model::B, dir.Path()));
    ASSERT_TRUE(sim.Start());
    PortClient port;
    ASSERT_TRUE(OpenAwake(sim, port));
    std::string noise;
    uint32_t x = 7;
    for (int i = 0; i < 300000; ++i) {
        x = x * 1664525u + 1013904223u;
        const char c = static_cast<char>(x >> 24);
        noise += c == '\n' ? 'x' : c;  // one long line, far beyond any command
    }
    ASSERT_TRUE(port.Write(noise));
    ASSERT_TRUE(port.Write("\nGETDEVICETYPE\n"));
    // The tail of the noise after the last dropped stretch is refused as a command.
    EXPECT_EQ(port.Read(13, 10000), "N\r\nY\r\nZK220\r\n");
    EXPECT_FALSE(sim.ProtocolErrors().empty());
}

TEST(SimLine, StopsPromptlyWhileThePortIsOpen) {
    TempDir dir;
    Simulator sim(FastOptions(Model::A, dir.Path()));
    ASSERT_TRUE(sim.Start());
    const std::string link = sim.PortPath();
    PortClient port;
    ASSERT_TRUE(OpenAwake(sim, port));
    const auto start = std::chrono::steady_clock::now();
    sim.Stop();
    // Promptly: not after the line's own time-outs.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(sim.Running());
    EXPECT_NE(access(link.c_str(), F_OK), 0);
}

TEST(SimLine, CommandsSentJustBeforeClosingAreCarriedOut) {
    TempDir dir;
    Simulator sim(FastOptions(Model::A, dir.Path()));
    ASSERT_TRUE(sim.Start());
    PortClient port;
    ASSERT_TRUE(OpenAwake(sim, port));
    ASSERT_TRUE(port.Write(FrameModelA(":T")));
    port.Close();
    ASSERT_TRUE(sim.WaitForClosedSessions(1, 2s));
    EXPECT_EQ(sim.Programmed().studyStarts, 1u);
    EXPECT_EQ(sim.BytesToCounter(1), FrameModelA(":T"));
}

}  // namespace

// Connecting to a simulated counter: wake-up, model detection, prompts and
// what a failed connection leaves behind.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "support/pseudo_terminal.h"

namespace tallyx::e2e {
namespace {

using tallysim::Model;
using tallysim::SimOptions;
using tallysim::WakeupFault;

std::vector<int32_t> g_prompts;
int32_t g_connectAnswer = 0;

int32_t RecordPrompt(TallyxHandle, int32_t reason) {
    g_prompts.push_back(reason);
    return reason == PROMPT_REASON_CONNECT ? g_connectAnswer : 0;
}

class ConnectionTest : public ::testing::Test, public CounterFixture {
protected:
    void SetUp() override {
        g_prompts.clear();
        g_connectAnswer = 0;
    }

    void StartWith(Model model, WakeupFault fault = WakeupFault::None) {
        SimOptions options(model);
        if (fault != WakeupFault::None) options.faults.AddWakeup({fault, 1, 0});
        std::string error;
        ASSERT_TRUE(StartCounter(options, 3, &error)) << error;
    }

    // Reads with an action the model A driver refuses before it sends
    // anything, so only the connection itself talks to the counter.
    int32_t ConnectOnly(TallyxHandle handle) {
        SetProperty(handle, PROPERTY_TALLYX_READWRITEACTION, "NO_SUCH_ACTION");
        return ReadDevice(handle);
    }
};

TEST_F(ConnectionTest, ReadySelectsModelA) {
    StartWith(Model::A);
    TallyxHandle handle = NewContext(3);
    SetPromptCallback(handle, RecordPrompt);
    int32_t result = ConnectOnly(handle);
    EXPECT_NE(result, RETCODE_ERR_FAILEDTOWAKEUP);
    EXPECT_EQ(g_prompts, (std::vector<int32_t>{PROMPT_REASON_CONNECT, PROMPT_REASON_DISCONNECT}));
    Term(handle);
    EXPECT_EQ(g_prompts.back(), PROMPT_REASON_DISCONNECT);
    EXPECT_EQ(g_prompts.size(), 3u);
    std::string log = MessageLog();
    EXPECT_NE(log.find("Device => READY\r"), std::string::npos);
    EXPECT_NE(log.find("Detected ZK110 device"), std::string::npos);
    EXPECT_NE(log.find("*** tallyx v.1.0.0.0 ***"), std::string::npos);
    // The wake-up answer is dumped at level COMMANDS, carriage return included.
    EXPECT_NE(ReadFile(TodaysLog(logs.Path(), "-com")).find("READY."), std::string::npos);
}

TEST_F(ConnectionTest, LowerCaseAnswerWithModelNameSelectsModelB) {
    StartWith(Model::B, WakeupFault::LowerCase);
    TallyxHandle handle = NewContext(3);
    ConnectOnly(handle);
    Term(handle);
    EXPECT_NE(MessageLog().find("Detected ZK220 device"), std::string::npos);
}

struct FailedWakeUp {
    WakeupFault fault;
    const char* name;
};

void PrintTo(const FailedWakeUp& value, std::ostream* out) { *out << value.name; }

class FailedWakeUpTest : public ConnectionTest, public ::testing::WithParamInterface<FailedWakeUp> {};

TEST_P(FailedWakeUpTest, FailsWithDisconnectPromptAndNoValues) {
    StartWith(Model::A, GetParam().fault);
    TallyxHandle handle = NewContext(3);
    SetPromptCallback(handle, RecordPrompt);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadDevice(handle), RETCODE_ERR_FAILEDTOWAKEUP);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(g_prompts, (std::vector<int32_t>{PROMPT_REASON_CONNECT, PROMPT_REASON_DISCONNECT}));
    char line[256];
    EXPECT_EQ(GetFirstValue(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, line, sizeof line),
              RETCODE_NOMOREVALUES);

    // The statistics count the bytes of the rejected answer, up to the byte
    // that made the library give up.
    std::string sent = Counter().BytesFromCounter(1);
    size_t expected = sent.size();
    for (size_t i = 0; i < sent.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(sent[i]);
        if (!((byte >= 0x09 && byte <= 0x0D) || (byte >= 0x20 && byte <= 0x7E))) {
            expected = i + 1;
            break;
        }
    }
    std::string statistics = Property(handle, PROPERTY_DEV_STATISTICS);
    EXPECT_NE(statistics.find("<BytesReceived>" + std::to_string(expected) + "</BytesReceived>"), std::string::npos)
        << statistics << " after " << sent;
    EXPECT_NE(statistics.find("<PagesRead>0</PagesRead>"), std::string::npos);
    Term(handle);
}

INSTANTIATE_TEST_SUITE_P(WakeUp, FailedWakeUpTest,
                         ::testing::Values(FailedWakeUp{WakeupFault::Wrong, "TextWithoutReady"},
                                           FailedWakeUp{WakeupFault::ControlByte, "ControlByte"},
                                           FailedWakeUp{WakeupFault::Missing, "Silence"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectionTest, AbortAtConnectPromptOpensNothing) {
    StartWith(Model::A);
    TallyxHandle handle = NewContext(3);
    SetPromptCallback(handle, RecordPrompt);
    g_connectAnswer = 5;
    EXPECT_EQ(ReadDevice(handle), RETCODE_ABORTED);
    EXPECT_EQ(g_prompts, (std::vector<int32_t>{PROMPT_REASON_CONNECT}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Counter().Sessions(), 0u);
    Term(handle);
    EXPECT_NE(MessageLog().find("Operation was aborted by the user!"), std::string::npos);
}

TEST_F(ConnectionTest, MissingPortFailsToOpen) {
    TallyxHandle handle = NewContext(4);
    SetPromptCallback(handle, RecordPrompt);
    EXPECT_EQ(ReadDevice(handle), RETCODE_ERR_CANTOPENPORT);
    EXPECT_EQ(g_prompts, (std::vector<int32_t>{PROMPT_REASON_CONNECT, PROMPT_REASON_DISCONNECT}));
    // A USB port number overrides the serial port.
    SetProperty(handle, PROPERTY_USBX_PORT, "2");
    SetProperty(handle, PROPERTY_COMM_PORT, "5");
    EXPECT_EQ(ReadDevice(handle), RETCODE_ERR_CANTOPENPORT);
    Term(handle);
    std::string log = MessageLog();
    EXPECT_NE(log.find("Opening RS232 port COM4"), std::string::npos);
    EXPECT_NE(log.find("Opening USB port USBX2"), std::string::npos);
    EXPECT_EQ(log.find("COM5"), std::string::npos);
}

TEST_F(ConnectionTest, OverlongWakeUpLineIsRefusedWithoutOverflow) {
    test::PseudoTerminal line;
    ASSERT_TRUE(line.IsOpen());
    ASSERT_FALSE(line.Publish(PortFolder(), 6).empty());
    TallyxHandle handle = NewContext(6);
    // The line only once the port has opened and discarded what waited.
    std::thread counter([&line] {
        if (line.WaitForFlushAfter(0)) line.Write(std::string(1500, 'R'), 2000);
    });
    EXPECT_EQ(ReadDevice(handle), RETCODE_ERR_FAILEDTOWAKEUP);
    counter.join();
    Term(handle);
    EXPECT_NE(MessageLog().find("Received invalid wake-up response from the device: RRRR"), std::string::npos)
        << MessageLog();
}

}  // namespace
}  // namespace tallyx::e2e

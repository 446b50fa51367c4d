// The transfer layer against a real pseudo-terminal: the test plays the
// counter on the master side while PortLink works the slave as COM7.
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <tallyx/tallyx.h>

#include "device/device_statistics.h"
#include "comm/comm_log.h"
#include "comm/port_link.h"
#include "support/pseudo_terminal.h"
#include "support/temp_dir.h"
#include "support/text_files.h"
#include "time/date_time.h"

namespace tallyx {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using test::ReadFile;

std::string DayFile(const std::string& folder, const char* suffix) {
    DateTime now = DateTime::Now();
    char name[64];
    if (suffix[0] == '\0') {
        std::snprintf(name, sizeof name, "/tallyx_%04d-%02d-%02d.log", now.Year, now.Month, now.Day);
    } else {
        std::snprintf(name, sizeof name, "/tallyx_%04d-%02d-%02d-%s.log", now.Year, now.Month, now.Day, suffix);
    }
    return folder + name;
}

class PortLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(line.IsOpen());
        ASSERT_FALSE(line.Publish(ports.Path(), 7).empty());
        link.SetStatistics(&statistics);
        link.SetCommLog(&log);
        link.SetTimeouts(1000, 50, 300);
        statistics.Reset();
    }

    int32_t Open() { return link.OpenPort("COM7", 57600, 8, 0, 0); }

    test::TempDir ports;
    test::ScopedEnv portDir{"TALLYX_PORT_DIR", ports.Path().c_str()};
    test::PseudoTerminal line;
    DeviceStatistics statistics{};
    CommLog log;
    PortLink link;
};

TEST_F(PortLinkTest, BytesTravelBothWaysAndAreCounted) {
    ASSERT_EQ(Open(), RETCODE_OK);
    const uint8_t command[] = {':', 'R', ':', 'F', '|', 'C', '\r'};
    ASSERT_EQ(link.Send(command, sizeof command), RETCODE_OK);
    EXPECT_EQ(line.Read(sizeof command), std::string(":R:F|C\r"));
    EXPECT_EQ(statistics.bytesSent, sizeof command);

    ASSERT_TRUE(line.Write(":F0|B0\r"));
    uint8_t answer[1024];
    uint32_t received = 0;
    ASSERT_EQ(link.ReceiveUntil(answer, sizeof answer, &received, 0x0D), RETCODE_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(answer), received), ":F0|B0\r");
    EXPECT_EQ(statistics.bytesReceived, received);
}

TEST_F(PortLinkTest, TricklingAnswerIsReceivedWhole) {
    link.SetTimeouts(1000, 50, 1000);
    ASSERT_EQ(Open(), RETCODE_OK);
    // Ten pieces 150 ms apart: longer than the receive time-out in all, but
    // every gap is far shorter than it.
    std::thread counter([this] {
        for (int i = 0; i < 10; ++i) {
            std::this_thread::sleep_for(150ms);
            line.Write(std::string(26, static_cast<char>('a' + i)));
        }
    });
    uint8_t page[260];
    uint32_t received = 0;
    int32_t result = link.ReceiveExact(page, sizeof page, &received, 260);
    counter.join();
    EXPECT_EQ(result, RETCODE_OK);
    EXPECT_EQ(received, 260u);
    EXPECT_EQ(page[0], 'a');
    EXPECT_EQ(page[259], 'j');
}

TEST_F(PortLinkTest, SilenceFailsAfterTheReceiveTimeout) {
    ASSERT_EQ(Open(), RETCODE_OK);
    uint8_t buffer[16];
    uint32_t received = 99;
    auto start = Clock::now();
    EXPECT_EQ(link.ReceiveExact(buffer, sizeof buffer, &received, 4), RETCODE_ERR_READ);
    auto waited = Clock::now() - start;
    EXPECT_EQ(received, 0u);
    EXPECT_GE(waited, 250ms);
    EXPECT_LT(waited, 2s);
}

TEST_F(PortLinkTest, HangUpDuringReceiveFailsWithoutWaitingOut) {
    link.SetTimeouts(1000, 50, 5000);
    ASSERT_EQ(Open(), RETCODE_OK);
    line.CloseSlave();
    std::thread counter([this] {
        std::this_thread::sleep_for(100ms);
        line.Write("RE");
        line.CloseMaster();
    });
    uint8_t buffer[16];
    uint32_t received = 0;
    auto start = Clock::now();
    EXPECT_EQ(link.ReceiveExact(buffer, sizeof buffer, &received, 6), RETCODE_ERR_READ);
    counter.join();
    EXPECT_LT(Clock::now() - start, 3s);
}

TEST_F(PortLinkTest, ReceiveUntilStopsWhenTheBufferIsFull) {
    ASSERT_EQ(Open(), RETCODE_OK);
    ASSERT_TRUE(line.Write("ABCDEFGH"));
    uint8_t buffer[5];
    uint32_t received = 0;
    EXPECT_EQ(link.ReceiveUntil(buffer, sizeof buffer, &received, 0x0D), RETCODE_OK);
    EXPECT_EQ(received, 5u);
    EXPECT_EQ(std::memcmp(buffer, "ABCDE", 5), 0);
}

TEST_F(PortLinkTest, ReceiveExactNeverExceedsCapacity) {
    ASSERT_EQ(Open(), RETCODE_OK);
    ASSERT_TRUE(line.Write("0123456789"));
    uint8_t buffer[8] = {};
    uint32_t received = 0;
    EXPECT_EQ(link.ReceiveExact(buffer, 4, &received, 10), RETCODE_OK);
    EXPECT_EQ(received, 4u);
    EXPECT_EQ(buffer[4], 0);
}

TEST_F(PortLinkTest, SendDiscardsALateAnswer) {
    ASSERT_EQ(Open(), RETCODE_OK);
    ASSERT_TRUE(line.Write("stale answer\r"));
    ASSERT_TRUE(line.WaitUntilSlaveHolds(13));
    const uint8_t command[] = {':', 'X', '\r'};
    ASSERT_EQ(link.Send(command, sizeof command), RETCODE_OK);
    ASSERT_TRUE(line.Write("fresh\r"));
    uint8_t buffer[64];
    uint32_t received = 0;
    ASSERT_EQ(link.ReceiveUntil(buffer, sizeof buffer, &received, 0x0D), RETCODE_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), received), "fresh\r");
}

TEST_F(PortLinkTest, ClosedLinkRefusesTransfers) {
    uint8_t buffer[4] = {};
    uint32_t received = 7;
    EXPECT_EQ(link.Send(buffer, 1), RETCODE_ERR_PORTCLOSED);
    EXPECT_EQ(link.ReceiveExact(buffer, 4, &received, 1), RETCODE_ERR_PORTCLOSED);
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(link.ReceiveUntil(buffer, 4, &received, 0x0D), RETCODE_ERR_PORTCLOSED);
}

TEST_F(PortLinkTest, OpenFailuresAreReportedWithTheirCodes) {
    test::TempDir logs;
    log.Configure(logs.Path().c_str(), 0);
    EXPECT_EQ(link.OpenPort("LPT1", 57600, 8, 0, 0), RETCODE_ERR_CANTOPENPORT);
    EXPECT_EQ(link.OpenPort("COM9", 57600, 8, 0, 0), RETCODE_ERR_CANTOPENPORT);  // not published
    EXPECT_EQ(link.OpenPort("COM7", 12345, 8, 0, 0), RETCODE_ERR_CANTCONFIGPORT);
    EXPECT_EQ(link.Port(), nullptr);
    ASSERT_EQ(link.OpenPort("com7", 57600, 8, 0, 0), RETCODE_OK);

    // The port is held: a second link is denied access.
    PortLink other;
    other.SetCommLog(&log);
    EXPECT_EQ(other.OpenPort("COM7", 57600, 8, 0, 0), RETCODE_ERR_CANTOPENPORT);
    log.Close();

    std::string messages = ReadFile(DayFile(logs.Path(), ""));
    EXPECT_NE(messages.find("Invalid port specified LPT1"), std::string::npos);
    EXPECT_NE(messages.find("Failed to open port COM9. ErrorCode=2. PortErrorCode=0"), std::string::npos);
    EXPECT_NE(messages.find("Failed to set up COM7. ErrorCode=87"), std::string::npos);
    EXPECT_NE(messages.find("Failed to open port COM7. ErrorCode=5. PortErrorCode=0"), std::string::npos);
    EXPECT_NE(messages.find("Setting up com7 (Baud=57600. DataBits=8. Parity=0. StopBits=0)"), std::string::npos);
}

TEST_F(PortLinkTest, BytesLevelDumpsEveryReceivedByte) {
    test::TempDir logs;
    log.Configure(logs.Path().c_str(), 2);
    ASSERT_EQ(Open(), RETCODE_OK);
    const uint8_t command[] = {'O', 'K', '\r'};
    ASSERT_EQ(link.Send(command, sizeof command), RETCODE_OK);
    ASSERT_TRUE(line.Write("AB\r"));
    uint8_t buffer[8];
    uint32_t received = 0;
    ASSERT_EQ(link.ReceiveUntil(buffer, sizeof buffer, &received, 0x0D), RETCODE_OK);
    std::string dump = ReadFile(DayFile(logs.Path(), "com"));
    size_t headings = 0;
    for (size_t at = dump.find("------ "); at != std::string::npos; at = dump.find("------ ", at + 1)) ++headings;
    // One OUT block with the command and one IN block per received byte.
    EXPECT_EQ(headings, 4u);
    EXPECT_NE(dump.find(" OUT ------\nOK."), std::string::npos);
    EXPECT_NE(dump.find("4f4b0d\n"), std::string::npos);
}

}  // namespace
}  // namespace tallyx

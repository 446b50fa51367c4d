// SerialPort against pseudo-terminals: the test plays the counter on the
// master side, the port opens the slave published as COM3.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comm/serial_port.h"
#include "support/pseudo_terminal.h"
#include "support/temp_dir.h"
#include "unit/port_writes.h"

namespace tallyx {
namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// CPU time this process has used, in milliseconds.
long long CpuMilliseconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000LL +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        ASSERT_TRUE(pty.IsOpen());
        ASSERT_FALSE(pty.Publish(dir.Path(), 3).empty());
    }

    void OpenPort(SerialPort& p, bool overlapped = true) { ASSERT_EQ(p.Open("COM3", 0, 0, overlapped), 0u); }

    // Waits for data and reads until wanted bytes have come or a wait fails.
    std::string Receive(SerialPort& p, size_t wanted, uint32_t timeoutMs = 1000) {
        return test::ReceiveSignalled(p, wanted, timeoutMs);
    }

    test::TempDir dir;
    test::ScopedEnv portDir{"TALLYX_PORT_DIR", dir.Path().c_str()};
    test::PseudoTerminal pty;
    SerialPort port;
};

TEST_F(SerialPortTest, BytesPassUnchangedInBothDirections) {
    OpenPort(port);
    EXPECT_TRUE(port.IsOpen());
    test::ExpectBytesPassBothWays(port, pty, "ATZ\r\n");
}

TEST_F(SerialPortTest, ReadWithNothingReceivedReturnsAtOnceWithNoBytes) {
    OpenPort(port);
    const test::EmptyRead read = test::ReadNothing(port, 2000);
    EXPECT_EQ(read.result, 0u);
    EXPECT_EQ(read.got, 0u);
    EXPECT_LT(read.milliseconds, 500);
}

TEST_F(SerialPortTest, WaitWithoutDataEndsAfterItsTimeOutWithoutSpinning) {
    OpenPort(port);
    const auto start = Clock::now();
    const long long cpuBefore = CpuMilliseconds();
    EXPECT_EQ(port.WaitForEvent(nullptr, 300), 1460u);
    const long long elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, 295);
    EXPECT_LT(elapsed, 1500);
    EXPECT_LT(CpuMilliseconds() - cpuBefore, 100);
    EXPECT_EQ(port.LastError(), 1460u);
    EXPECT_EQ(port.TakeEvents(), 0u);

    // The port goes on working after a time-out.
    char buffer[8];
    uint32_t got = 99;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &got, nullptr, 100), 0u);
    EXPECT_EQ(got, 0u);
    ASSERT_TRUE(pty.Write("ok"));
    EXPECT_EQ(Receive(port, 2), "ok");
}

TEST_F(SerialPortTest, ClosedFarSideIsReportedAsAnErrorEventWellBeforeTheTimeOut) {
    OpenPort(port);
    pty.CloseMaster();
    const auto start = Clock::now();
    ASSERT_EQ(port.WaitForEvent(nullptr, 5000), 0u);
    EXPECT_LT(MillisecondsSince(start), 1000);
    EXPECT_EQ(port.TakeEvents(), kEventError);

    char buffer[8];
    uint32_t got = 99;
    EXPECT_NE(port.Read(buffer, sizeof buffer, &got, nullptr, 100), 0u);
    EXPECT_EQ(got, 0u);
    uint32_t written = 99;
    EXPECT_NE(port.Write("x", 1, &written, nullptr, 100), 0u);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(port.Close(), 0u);
}

TEST_F(SerialPortTest, HangUpWithoutErrorEventInTheMaskFailsTheWait) {
    OpenPort(port);
    ASSERT_EQ(port.SetEventMask(kEventRxChar), 0u);
    pty.CloseMaster();
    EXPECT_EQ(port.WaitForEvent(nullptr, 5000), 1117u);
}

TEST_F(SerialPortTest, APortInUseIsAccessDeniedAndTheHolderKeepsWorking) {
    OpenPort(port);
    SerialPort second;
    EXPECT_EQ(second.Open("COM3", 0, 0, true), 5u);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.LastError(), 5u);

    uint32_t written = 0;
    ASSERT_EQ(port.Write("still", 5, &written, nullptr, 1000), 0u);
    EXPECT_EQ(pty.Read(5), "still");

    // Closing gives the port up.
    EXPECT_EQ(port.Close(), 0u);
    EXPECT_EQ(second.Open("COM3", 0, 0, true), 0u);
}

TEST_F(SerialPortTest, MissingPortsAreFileNotFound) {
    EXPECT_EQ(port.Open("COM4", 0, 0, true), 2u);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Open("LPT1", 0, 0, true), 2u);
    EXPECT_EQ(port.Open("COM0", 0, 0, true), 2u);
    EXPECT_EQ(port.Open(nullptr, 0, 0, true), 87u);

    // A published entry whose device is gone. The closed terminal's number may
    // already serve another program, so the entry names one that cannot exist.
    pty.CloseMaster();
    pty.CloseSlave();
    const std::string entry = dir.Path() + "/COM3";
    ASSERT_EQ(unlink(entry.c_str()), 0);
    ASSERT_EQ(symlink("/dev/pts/999999", entry.c_str()), 0);
    EXPECT_EQ(port.Open("COM3", 0, 0, true), 2u);
}

TEST_F(SerialPortTest, OpenCloseLifecycle) {
    EXPECT_EQ(port.Close(), 0u);
    OpenPort(port);
    EXPECT_EQ(port.Open("COM3", 0, 0, true), 1247u);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.GetEventMask(), kDefaultEventMask);
    EXPECT_EQ(port.Close(), 0u);
    EXPECT_EQ(port.Close(), 0u);
    EXPECT_FALSE(port.IsOpen());
    OpenPort(port);
}

TEST_F(SerialPortTest, OperationsOnAClosedPortAreInvalidHandle) {
    test::ExpectClosedPortRefuses(port);
    EXPECT_EQ(port.SetEventMask(1), 6u);
    EXPECT_EQ(port.SetEventChar('x', true), 6u);
    EXPECT_EQ(port.GetBaudRate(), -1);
    EXPECT_EQ(port.LastError(), 6u);
    EXPECT_EQ(port.GetDataBits(), -1);
    EXPECT_EQ(port.GetParity(), -1);
    EXPECT_EQ(port.GetStopBits(), -1);
    EXPECT_EQ(port.GetHandshaking(), -1);
    EXPECT_EQ(port.GetEventMask(), 0u);
    EXPECT_EQ(port.LastError(), 6u);
    EXPECT_EQ(port.GetEventChar(), 0);
    EXPECT_EQ(port.TakeLineErrors(), 0u);
    EXPECT_EQ(port.LastError(), 6u);
    EXPECT_EQ(port.TakeEvents(), 0u);
    EXPECT_EQ(port.LastError(), 0u);
}

TEST_F(SerialPortTest, PurgeDiscardsWhatWasReceivedAndNotRead) {
    OpenPort(port);
    ASSERT_TRUE(pty.Write("stale answer"));
    ASSERT_EQ(port.WaitForEvent(nullptr, 1000), 0u);
    EXPECT_EQ(port.Purge(), 0u);
    char buffer[32];
    uint32_t got = 99;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &got, nullptr, 100), 0u);
    EXPECT_EQ(got, 0u);
    ASSERT_TRUE(pty.Write("fresh"));
    EXPECT_EQ(Receive(port, 5), "fresh");
}

TEST_F(SerialPortTest, EveryRateOfThePropertiesCanBeSet) {
    OpenPort(port);
    for (uint32_t rate : {110u, 300u, 600u, 1200u, 2400u, 4800u, 9600u, 14400u, 19200u, 38400u, 56000u, 57600u,
                          115200u, 128000u, 256000u}) {
        ASSERT_EQ(port.Configure(rate, 8, 0, 0), 0u) << rate;
        EXPECT_EQ(port.GetBaudRate(), static_cast<int32_t>(rate));
        EXPECT_EQ(port.GetDataBits(), 8);
    }
    // Changing the flow control keeps a rate without a speed constant.
    ASSERT_EQ(port.Configure(14400, 8, 0, 0), 0u);
    ASSERT_EQ(port.SetHandshaking(0), 0u);
    EXPECT_EQ(port.GetBaudRate(), 14400);
}

// A pseudo-terminal keeps rates and stop bits but always runs 8 data bits
// without parity, so those two are checked on the flags alone (see the
// platform tests).
TEST_F(SerialPortTest, UnknownSettingsAreRefusedAndLeaveTheLineAsItWas) {
    OpenPort(port);
    ASSERT_EQ(port.Configure(19200, 8, 0, 2), 0u);
    const struct {
        uint32_t rate;
        uint8_t dataBits;
        int32_t parity;
        uint8_t stopBits;
    } refused[] = {
        {0xFFFFFFFFu, 8, 0, 0}, {12345, 8, 0, 0}, {0, 8, 0, 0},  {9600, 0xFF, 0, 0}, {9600, 4, 0, 0},
        {9600, 9, 0, 0},        {9600, 8, -1, 0}, {9600, 8, 5, 0}, {9600, 8, 0, 0xFF}, {9600, 8, 0, 1},
        {9600, 5, 0, 2},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(port.Configure(r.rate, r.dataBits, r.parity, r.stopBits), 87u)
            << r.rate << " " << int(r.dataBits) << " " << r.parity << " " << int(r.stopBits);
        EXPECT_EQ(port.LastError(), 87u);
        EXPECT_EQ(port.GetBaudRate(), 19200);
        EXPECT_EQ(port.GetStopBits(), 2);
    }
    ASSERT_EQ(port.Configure(9600, 8, 0, 0), 0u);
    EXPECT_EQ(port.GetBaudRate(), 9600);
    EXPECT_EQ(port.GetDataBits(), 8);
    EXPECT_EQ(port.GetParity(), 0);
    EXPECT_EQ(port.GetStopBits(), 0);
}

TEST_F(SerialPortTest, HandshakingModesRoundTripAndUnknownModesAreInvalidArgument) {
    OpenPort(port);
    EXPECT_EQ(port.SetHandshaking(3), 0x80070057u);
    EXPECT_EQ(port.SetHandshaking(-1), 0x80070057u);
    for (int32_t mode : {1, 2, 0}) {
        ASSERT_EQ(port.SetHandshaking(mode), 0u) << mode;
        EXPECT_EQ(port.GetHandshaking(), mode);
    }
    EXPECT_EQ(port.SetReadMode(2), 0x80070057u);
}

TEST_F(SerialPortTest, BlockingReadModeWaitsForAllBytesAndKeepsAPartialCountOnTimeOut) {
    OpenPort(port);
    ASSERT_EQ(port.SetReadMode(1), 0u);
    ASSERT_TRUE(pty.Write("abc"));
    char buffer[8] = {};
    uint32_t got = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port.Read(buffer, 5, &got, nullptr, 200), 1460u);
    EXPECT_GE(MillisecondsSince(start), 195);
    EXPECT_EQ(std::string(buffer, got), "abc");

    ASSERT_TRUE(pty.Write("defgh"));
    EXPECT_EQ(port.Read(buffer, 5, &got, nullptr, 1000), 0u);
    EXPECT_EQ(std::string(buffer, got), "defgh");
}

TEST_F(SerialPortTest, PortOpenedWithoutOverlappedModeRefusesBoundedRequests) {
    OpenPort(port, false);
    char buffer[4];
    uint32_t count = 0;
    int record = 0;
    EXPECT_EQ(port.WaitForEvent(nullptr, 100), 1u);
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &count, nullptr, 100), 1u);
    EXPECT_EQ(port.Write(buffer, sizeof buffer, &count, nullptr, 100), 1u);
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &count, &record, kInfinite), 1u);
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &count, nullptr, kInfinite), 0u);
    EXPECT_EQ(count, 0u);
}

TEST_F(SerialPortTest, WriteIsBoundedWhenTheFarSideTakesNothing) {
    OpenPort(port);
    const std::vector<char> big(4 * 1024 * 1024, 'x');
    uint32_t written = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port.Write(big.data(), static_cast<uint32_t>(big.size()), &written, nullptr, 200), 1460u);
    EXPECT_LT(MillisecondsSince(start), 1500);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
}

TEST_F(SerialPortTest, EventsOutsideTheMaskAreNotReported) {
    OpenPort(port);
    ASSERT_EQ(port.SetEventMask(kEventBreak), 0u);
    ASSERT_TRUE(pty.Write("data"));
    EXPECT_EQ(port.WaitForEvent(nullptr, 150), 1460u);

    ASSERT_EQ(port.SetEventChar('\r', true), 0u);
    EXPECT_EQ(port.GetEventMask(), kEventBreak | kEventRxFlag);
    EXPECT_EQ(port.GetEventChar(), '\r');
    ASSERT_EQ(port.SetEventMask(0), 0u);
    EXPECT_EQ(port.WaitForEvent(nullptr, 10), 87u);

    ASSERT_EQ(port.SetEventMask(kDefaultEventMask), 0u);
    ASSERT_EQ(port.WaitForEvent(nullptr, 1000), 0u);
    EXPECT_EQ(port.TakeEvents(), kEventRxChar);
    EXPECT_EQ(port.TakeEvents(), 0u);
    EXPECT_EQ(port.TakeLineErrors(), 0u);  // a pseudo-terminal counts no line errors
}

}  // namespace
}  // namespace tallyx

// UsbPort through the real dlopen path, against the stand-in bridge library
// whose devices are pseudo-terminals.
#include <dlfcn.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "comm/usb_bridge_codes.h"
#include "comm/usb_port.h"
#include "support/pseudo_terminal.h"
#include "support/temp_dir.h"
#include "unit/port_writes.h"
#include "usbstub/usb_bridge_stub.h"

namespace tallyx {
namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(UsbStatusMapping, EveryStatusHasItsErrorNumber) {
    const struct {
        int status;
        uint32_t code;
    } table[] = {{0, 0},     {1, 6},     {2, 30},    {3, 30},    {4, 29},     {5, 29},   {6, 87},
                 {7, 87},    {8, 1117},  {9, 87},    {10, 50},   {11, 31},    {12, 31},  {13, 1460},
                 {14, 1460}, {15, 997},  {16, 31},   {254, 31},  {255, 1168}, {256, 31}, {-1, 31}};
    for (const auto& entry : table) EXPECT_EQ(UsbStatusToWin32(entry.status), entry.code) << entry.status;
}

TEST(UsbLineControl, PacksDataBitsParityAndStopBits) {
    EXPECT_EQ(UsbLineControlWord(8, 0, 0), 0x0800);
    EXPECT_EQ(UsbLineControlWord(7, 2, 2), 0x0722);
    EXPECT_EQ(UsbLineControlWord(5, 4, 1), 0x0541);
}

TEST(UsbPortWithoutLibrary, EveryOperationFailsAsNotInitialised) {
    // Nothing has loaded the stand-in and it is not on the search path.
    UsbPort port;
    EXPECT_FALSE(port.IsReady());
    EXPECT_EQ(port.Open("USBX1", 0, 0, true), 1114u);
    EXPECT_EQ(port.LastError(), 1114u);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Configure(9600, 8, 0, 0), 6u);
    EXPECT_EQ(port.Close(), 0u);
    EXPECT_EQ(port.TakeLineErrors(), 0u);
}

TEST(UsbPortWithoutLibrary, ALibraryLackingTheFunctionsIsNotReady) {
    UsbPort port("libc.so.6");
    EXPECT_FALSE(port.IsReady());
    EXPECT_EQ(port.Open("USBX1", 0, 0, true), 1114u);
}

class UsbPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.IsOpen());
        // Loaded by its full path here, the stand-in is then found by the
        // port's plain-name lookup, as an already loaded library.
        stub = dlopen(TALLYX_USB_STUB_DIR "/libSiUSBXp.so", RTLD_NOW | RTLD_GLOBAL);
        ASSERT_NE(stub, nullptr) << dlerror();
        reset = reinterpret_cast<UsbStubResetFn>(dlsym(stub, "UsbStub_Reset"));
        forceStatus = reinterpret_cast<UsbStubForceStatusFn>(dlsym(stub, "UsbStub_ForceStatus"));
        callCount = reinterpret_cast<UsbStubCallCountFn>(dlsym(stub, "UsbStub_CallCount"));
        baudRate = reinterpret_cast<UsbStubBaudRateFn>(dlsym(stub, "UsbStub_BaudRate"));
        lineControl = reinterpret_cast<UsbStubLineControlFn>(dlsym(stub, "UsbStub_LineControl"));
        flowControl = reinterpret_cast<UsbStubFlowControlFn>(dlsym(stub, "UsbStub_FlowControl"));
        openCount = reinterpret_cast<UsbStubOpenCountFn>(dlsym(stub, "UsbStub_OpenCount"));
        ASSERT_TRUE(reset && forceStatus && callCount && baudRate && lineControl && flowControl && openCount);
        reset();
    }

    void TearDown() override {
        if (stub != nullptr) dlclose(stub);
    }

    void OpenPort(UsbPort& p) { ASSERT_EQ(p.Open("USBX1", 0, 0, true), 0u); }

    test::PseudoTerminal pty;
    test::ScopedEnv devices{"TALLYX_USB_STUB_DEVICES", pty.SlavePath().c_str()};
    void* stub = nullptr;
    UsbStubResetFn reset = nullptr;
    UsbStubForceStatusFn forceStatus = nullptr;
    UsbStubCallCountFn callCount = nullptr;
    UsbStubBaudRateFn baudRate = nullptr;
    UsbStubLineControlFn lineControl = nullptr;
    UsbStubFlowControlFn flowControl = nullptr;
    UsbStubOpenCountFn openCount = nullptr;
};

TEST_F(UsbPortTest, DeviceNumbersCountFromOne) {
    UsbPort port;
    ASSERT_TRUE(port.IsReady());
    EXPECT_EQ(port.Open("USBX2", 0, 0, true), 87u);
    EXPECT_EQ(port.Open("USBX0", 0, 0, true), 87u);
    EXPECT_EQ(port.Open("USBX", 0, 0, true), 87u);
    EXPECT_EQ(port.Open("USBX-1", 0, 0, true), 87u);
    EXPECT_EQ(port.Open("USBX99999999999999999999", 0, 0, true), 87u);
    EXPECT_EQ(port.Open("COM3", 0, 0, true), 87u);
    EXPECT_EQ(port.Open(nullptr, 0, 0, true), 87u);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(openCount(), 0u);

    ASSERT_EQ(port.Open("usbx01", 0, 0, true), 0u);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.DeviceIndex(), 0u);
    EXPECT_STREQ(port.PortName(), "usbx01");
    EXPECT_EQ(port.GetEventMask(), kDefaultEventMask);
    EXPECT_EQ(port.Open("USBX1", 0, 0, true), 1247u);

    EXPECT_EQ(port.Close(), 0u);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.DeviceIndex(), UsbPort::kNoDevice);
    EXPECT_STREQ(port.PortName(), "");
    EXPECT_EQ(openCount(), 0u);
}

TEST_F(UsbPortTest, FailingLibraryStatusesComeBackAsErrorNumbers) {
    UsbPort port;
    forceStatus("SI_GetNumDevices", 0xFF);
    EXPECT_EQ(port.Open("USBX1", 0, 0, true), 1168u);
    forceStatus("SI_GetNumDevices", -1);
    forceStatus("SI_GetProductString", 2);
    EXPECT_EQ(port.Open("USBX1", 0, 0, true), 30u);
    forceStatus("SI_GetProductString", -1);
    forceStatus("SI_Open", 8);
    EXPECT_EQ(port.Open("USBX1", 0, 0, true), 1117u);
    EXPECT_FALSE(port.IsOpen());
    forceStatus("SI_Open", -1);

    OpenPort(port);
    forceStatus("SI_SetBaudRate", 9);
    EXPECT_EQ(port.Configure(9600, 8, 0, 0), 87u);
    EXPECT_EQ(lineControl(0), 0u);
    forceStatus("SI_CheckRXQueue", 1);
    EXPECT_EQ(port.WaitForEvent(nullptr, 100), 6u);
    EXPECT_EQ(port.Purge(), 6u);
}

TEST_F(UsbPortTest, ConfigureSendsRateAndLineControlWord) {
    UsbPort port;
    OpenPort(port);
    ASSERT_EQ(port.Configure(9600, 8, 0, 0), 0u);
    EXPECT_EQ(baudRate(0), 9600u);
    EXPECT_EQ(lineControl(0), 0x0800u);
    ASSERT_EQ(port.Configure(57600, 7, 2, 2), 0u);
    EXPECT_EQ(baudRate(0), 57600u);
    EXPECT_EQ(lineControl(0), 0x0722u);

    // Values that fit no field are refused before the bridge sees them.
    EXPECT_EQ(port.Configure(9600, 8, -1, 0), 87u);
    EXPECT_EQ(port.Configure(0xFFFFFFFFu, 8, 0, 0), 87u);
    EXPECT_EQ(port.Configure(9600, 9, 0, 0), 87u);
    EXPECT_EQ(port.Configure(9600, 8, 0, 3), 87u);
    EXPECT_EQ(baudRate(0), 57600u);
    EXPECT_EQ(lineControl(0), 0x0722u);
}

TEST_F(UsbPortTest, HandshakingOffHoldsRtsAndDtr) {
    UsbPort port;
    OpenPort(port);
    ASSERT_EQ(port.SetHandshaking(0), 0u);
    // cts 0, rts 1, dtr 1, dsr 0, dcd 0, no XON/XOFF
    EXPECT_EQ(flowControl(0), 0x000101000000ull);
    EXPECT_EQ(port.SetHandshaking(1), 0x80070057u);
    EXPECT_EQ(port.SetHandshaking(2), 0x80070057u);
    EXPECT_EQ(port.SetReadMode(0), 0u);
    EXPECT_EQ(port.SetReadMode(1), 0u);
}

TEST_F(UsbPortTest, BytesPassInBothDirections) {
    UsbPort port;
    OpenPort(port);
    test::ExpectBytesPassBothWays(port, pty, "hello");
}

TEST_F(UsbPortTest, ReadWithNothingArrivingTimesOutWithNoBytes) {
    UsbPort port;
    OpenPort(port);
    const test::EmptyRead read = test::ReadNothing(port, 100);
    EXPECT_EQ(read.result, 1460u);
    EXPECT_EQ(read.got, 0u);
    EXPECT_LT(read.milliseconds, 1000);
}

TEST_F(UsbPortTest, WaitPollsTheQueueInStepsOfAHundredMilliseconds) {
    UsbPort port;
    OpenPort(port);
    const uint32_t before = callCount("SI_CheckRXQueue");
    const auto start = Clock::now();
    EXPECT_EQ(port.WaitForEvent(nullptr, 250), 1460u);
    const long long elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, 250);
    EXPECT_LT(elapsed, 1000);
    // Checked before each of the sleeps of 100, 100 and 50 ms.
    EXPECT_EQ(callCount("SI_CheckRXQueue") - before, 3u);
    EXPECT_EQ(port.LastError(), 1460u);

    // A time-out of 0 does not ask the device.
    EXPECT_EQ(port.WaitForEvent(nullptr, 0), 1460u);
    EXPECT_EQ(callCount("SI_CheckRXQueue") - before, 3u);
}

TEST_F(UsbPortTest, PurgeDiscardsWhatWasReceived) {
    UsbPort port;
    OpenPort(port);
    ASSERT_TRUE(pty.Write("stale"));
    ASSERT_EQ(port.WaitForEvent(nullptr, 1000), 0u);
    EXPECT_EQ(port.Purge(), 0u);
    EXPECT_EQ(callCount("SI_FlushBuffers"), 1u);
    char buffer[8];
    uint32_t got = 99;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &got, nullptr, 50), 1460u);
    EXPECT_EQ(got, 0u);
}

TEST_F(UsbPortTest, ClosedPortOperationsAreInvalidHandle) {
    UsbPort port;
    test::ExpectClosedPortRefuses(port);
    EXPECT_EQ(port.GetBaudRate(), -1);
    EXPECT_EQ(port.SetEventMask(0x41), 0u);  // only stores the mask
    EXPECT_EQ(port.Close(), 0u);
    EXPECT_EQ(port.Close(), 0u);
}

TEST_F(UsbPortTest, DestroyingAnOpenPortClosesTheDevice) {
    {
        UsbPort port;
        OpenPort(port);
        EXPECT_EQ(openCount(), 1u);
    }
    EXPECT_EQ(openCount(), 0u);
}

}  // namespace
}  // namespace tallyx

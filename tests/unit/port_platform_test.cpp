// The platform pieces under the ports: error numbers, port names, line
// settings and line error bits.
#include <termios.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "platform/posix/line_errors.h"
#include "platform/posix/line_settings.h"
#include "platform/port_names.h"
#include "platform/win32_error.h"
#include "support/temp_dir.h"

namespace tallyx {
namespace {

TEST(Win32ErrorFromErrno, MapsEachFamilyToItsNumber) {
    EXPECT_EQ(Win32ErrorFromErrno(0), 0u);
    for (int e : {ENOENT, ENODEV, ENXIO}) EXPECT_EQ(Win32ErrorFromErrno(e), 2u) << e;
    for (int e : {EACCES, EPERM, EBUSY}) EXPECT_EQ(Win32ErrorFromErrno(e), 5u) << e;
    EXPECT_EQ(Win32ErrorFromErrno(EINVAL), 87u);
    EXPECT_EQ(Win32ErrorFromErrno(EIO), 1117u);
    EXPECT_EQ(Win32ErrorFromErrno(ENOMEM), 8u);
    EXPECT_EQ(Win32ErrorFromErrno(ETIMEDOUT), 1460u);
    for (int e : {ENOTTY, EAGAIN, EPIPE, EBADF, 9999}) EXPECT_EQ(Win32ErrorFromErrno(e), 31u) << e;
}

TEST(ComPortNames, AcceptOnlyComWithAPlainPositiveNumber) {
    uint32_t n = 0;
    EXPECT_TRUE(ParseComPortNumber("COM3", &n));
    EXPECT_EQ(n, 3u);
    EXPECT_TRUE(ParseComPortNumber("com256", &n));
    EXPECT_EQ(n, 256u);
    EXPECT_TRUE(ParseComPortNumber("CoM999999999", &n));
    EXPECT_EQ(n, 999999999u);
    for (const char* bad : {"", "COM", "COM0", "COM03", "COM-1", "COM+1", "COM1x", "COM 1", "LPT1", "USBX1",
                            "COM1234567890", "XCOM1"}) {
        EXPECT_FALSE(ParseComPortNumber(bad, &n)) << bad;
    }
}

TEST(ComPortNames, DefaultMappingUsesBlocksOfOneHundred) {
    test::ScopedEnv noDir("TALLYX_PORT_DIR", nullptr);
    EXPECT_EQ(PortDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(PortDevicePath("COM99"), "/dev/ttyS98");
    EXPECT_EQ(PortDevicePath("COM100"), "/dev/ttyUSB0");
    EXPECT_EQ(PortDevicePath("com101"), "/dev/ttyUSB1");
    EXPECT_EQ(PortDevicePath("COM199"), "/dev/ttyUSB99");
    EXPECT_EQ(PortDevicePath("COM200"), "/dev/ttyACM0");
    EXPECT_EQ(PortDevicePath(256u), "/dev/ttyACM56");
    EXPECT_EQ(PortDevicePath("COM299"), "/dev/ttyACM99");
    EXPECT_EQ(PortDevicePath("COM300"), "");
    EXPECT_EQ(PortDevicePath(0u), "");
    EXPECT_EQ(PortDevicePath("COM0"), "");
    EXPECT_EQ(PortDevicePath("USBX1"), "");
}

TEST(ComPortNames, PortFolderReplacesTheDefaultMapping) {
    {
        test::ScopedEnv dir("TALLYX_PORT_DIR", "/run/ports");
        EXPECT_EQ(PortDevicePath("com7"), "/run/ports/COM7");
        EXPECT_EQ(PortDevicePath(1000u), "/run/ports/COM1000");
        EXPECT_EQ(PortDevicePath("COM0"), "");
    }
    {
        test::ScopedEnv dir("TALLYX_PORT_DIR", "/run/ports/");
        EXPECT_EQ(PortDevicePath("COM7"), "/run/ports/COM7");
    }
    {
        // An empty value counts as not set.
        test::ScopedEnv dir("TALLYX_PORT_DIR", "");
        EXPECT_EQ(PortDevicePath("COM7"), "/dev/ttyS6");
    }
}

TEST(LineSettingsSpeeds, StandardRatesUseTheirOwnConstants) {
    const struct {
        uint32_t rate;
        speed_t constant;
    } standard[] = {{110, B110},     {300, B300},     {600, B600},       {1200, B1200},
                    {2400, B2400},   {4800, B4800},   {9600, B9600},     {19200, B19200},
                    {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400}};
    for (const auto& entry : standard) {
        uint32_t code = 0;
        ASSERT_TRUE(BaudRateToSpeedCode(entry.rate, &code)) << entry.rate;
        EXPECT_EQ(code, static_cast<uint32_t>(entry.constant)) << entry.rate;
        EXPECT_EQ(SpeedCodeToBaudRate(code), entry.rate);
    }
}

TEST(LineSettingsSpeeds, RatesWithoutAConstantAreGivenInBitsPerSecond) {
    // The kernel's code for "the rate is in c_ospeed".
    EXPECT_EQ(OtherSpeedCode(), 0010000u);
    for (uint32_t rate : {14400u, 56000u, 128000u, 256000u}) {
        uint32_t code = 0;
        ASSERT_TRUE(BaudRateToSpeedCode(rate, &code)) << rate;
        EXPECT_EQ(code, OtherSpeedCode()) << rate;
    }
    EXPECT_EQ(SpeedCodeToBaudRate(OtherSpeedCode()), 0u);
}

TEST(LineSettingsSpeeds, UnknownRatesAreRefused) {
    for (uint32_t rate : {0u, 1u, 134u, 12345u, 9601u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(BaudRateToSpeedCode(rate, nullptr)) << rate;
        LineSettings settings;
        settings.baudRate = rate;
        EXPECT_FALSE(ValidLineSettings(settings)) << rate;
    }
}

TEST(LineSettingsValidity, DataParityAndStopBitCombinations) {
    LineSettings s;
    s.baudRate = 9600;
    EXPECT_TRUE(ValidLineSettings(s));
    for (uint8_t bits : {4, 9, 0, 255}) {
        s.dataBits = bits;
        EXPECT_FALSE(ValidLineSettings(s)) << int(bits);
    }
    s.dataBits = 8;
    s.parity = 5;
    EXPECT_FALSE(ValidLineSettings(s));
    s.parity = 0xFF;
    EXPECT_FALSE(ValidLineSettings(s));
    s.parity = kParitySpace;
    EXPECT_TRUE(ValidLineSettings(s));
    // One and a half stop bits exist only with 5-bit characters, two only
    // with longer ones.
    s.stopBits = kStopBitsOneAndHalf;
    EXPECT_FALSE(ValidLineSettings(s));
    s.dataBits = 5;
    EXPECT_TRUE(ValidLineSettings(s));
    s.stopBits = kStopBitsTwo;
    EXPECT_FALSE(ValidLineSettings(s));
    s.dataBits = 6;
    EXPECT_TRUE(ValidLineSettings(s));
    s.stopBits = 3;
    EXPECT_FALSE(ValidLineSettings(s));
}

TEST(LineSettingsFlags, ParityDataAndStopBitsRoundTripThroughTheControlFlags) {
    const tcflag_t unrelated = CREAD | CLOCAL | HUPCL;
    for (uint8_t dataBits = 5; dataBits <= 8; ++dataBits) {
        for (uint8_t parity = kParityNone; parity <= kParitySpace; ++parity) {
            for (uint8_t stopBits : {kStopBitsOne, dataBits == 5 ? kStopBitsOneAndHalf : kStopBitsTwo}) {
                LineSettings wanted;
                wanted.baudRate = 56000;
                wanted.dataBits = dataBits;
                wanted.parity = parity;
                wanted.stopBits = stopBits;
                const uint32_t cflag = ControlFlagsFor(wanted, unrelated | B9600 | PARENB | CS7);
                EXPECT_EQ(cflag & unrelated, unrelated);
                const LineSettings back = LineSettingsFrom(cflag, 56000);
                EXPECT_EQ(back.baudRate, 56000u);
                EXPECT_EQ(back.dataBits, dataBits);
                EXPECT_EQ(back.parity, parity);
                EXPECT_EQ(back.stopBits, stopBits);
            }
        }
    }
}

TEST(LineSettingsFlags, ParityCodesUseTheExpectedFlags) {
    LineSettings s;
    s.baudRate = 9600;
    const tcflag_t parityFlags = PARENB | PARODD | CMSPAR;
    const struct {
        uint8_t parity;
        tcflag_t flags;
    } table[] = {{kParityNone, 0},
                 {kParityOdd, PARENB | PARODD},
                 {kParityEven, PARENB},
                 {kParityMark, PARENB | PARODD | CMSPAR},
                 {kParitySpace, PARENB | CMSPAR}};
    for (const auto& entry : table) {
        s.parity = entry.parity;
        EXPECT_EQ(ControlFlagsFor(s, 0) & parityFlags, entry.flags) << int(entry.parity);
    }
    s.parity = kParityNone;
    EXPECT_EQ(ControlFlagsFor(s, 0) & (CBAUD | CSIZE | CSTOPB), static_cast<tcflag_t>(B9600 | CS8));
    // A standard rate read from the flags ignores the stored speed.
    EXPECT_EQ(LineSettingsFrom(B115200 | CS8, 1234).baudRate, 115200u);
}

TEST(LineErrorBitsTest, EachGrownCounterSetsItsBit) {
    LineErrorCounters before;
    before.frame = 4;
    before.brk = 7;
    LineErrorCounters after = before;
    EXPECT_EQ(LineErrorBits(before, after), 0u);
    after.frame = 5;
    after.overrun = 1;
    EXPECT_EQ(LineErrorBits(before, after), kLineErrorFrame | kLineErrorOverrun);
    after = before;
    after.parity = 2;
    after.brk = 8;
    after.bufferOverrun = 1;
    EXPECT_EQ(LineErrorBits(before, after), kLineErrorParity | kLineErrorBreak | kLineErrorRxOver);
}

}  // namespace
}  // namespace tallyx

#include "platform/posix/line_settings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <iterator>

namespace tallyx {

namespace {

struct SpeedEntry {
    uint32_t rate;
    uint32_t code;
};

// The rates that have a speed constant of their own. B134 (134.5 baud) is left
// out: no integer rate names it.
constexpr SpeedEntry kStandardSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},
    {1800, B1800},       {2400, B2400},       {4800, B4800},       {9600, B9600},
    {19200, B19200},     {38400, B38400},     {57600, B57600},     {115200, B115200},
    {230400, B230400},   {460800, B460800},   {500000, B500000},   {576000, B576000},
    {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000},
    {4000000, B4000000},
};

// Rates offered to callers that have no speed constant.
constexpr uint32_t kOtherRates[] = {14400, 56000, 128000, 256000};

uint32_t DataBitsFlag(uint8_t dataBits) {
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

uint8_t DataBitsOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

}  // namespace

bool BaudRateToSpeedCode(uint32_t baudRate, uint32_t* code) {
    for (const SpeedEntry& entry : kStandardSpeeds) {
        if (entry.rate == baudRate) {
            if (code != nullptr) *code = entry.code;
            return true;
        }
    }
    for (uint32_t rate : kOtherRates) {
        if (rate == baudRate) {
            if (code != nullptr) *code = BOTHER;
            return true;
        }
    }
    return false;
}

uint32_t SpeedCodeToBaudRate(uint32_t code) {
    for (const SpeedEntry& entry : kStandardSpeeds) {
        if (entry.code == code) return entry.rate;
    }
    return 0;
}

uint32_t OtherSpeedCode() { return BOTHER; }

bool ValidLineSettings(const LineSettings& settings) {
    if (!BaudRateToSpeedCode(settings.baudRate, nullptr)) return false;
    if (settings.dataBits < 5 || settings.dataBits > 8) return false;
    if (settings.parity > kParitySpace) return false;
    switch (settings.stopBits) {
    case kStopBitsOne:
        return true;
    case kStopBitsOneAndHalf:
        return settings.dataBits == 5;
    case kStopBitsTwo:
        return settings.dataBits != 5;
    default:
        return false;
    }
}

LineSettings LineSettingsFrom(uint32_t cflag, uint32_t outputSpeed) {
    LineSettings settings;
    const uint32_t code = cflag & CBAUD;
    settings.baudRate = (code == BOTHER) ? outputSpeed : SpeedCodeToBaudRate(code);
    settings.dataBits = DataBitsOf(cflag);
    if ((cflag & PARENB) == 0) {
        settings.parity = kParityNone;
    } else if ((cflag & CMSPAR) != 0) {
        settings.parity = (cflag & PARODD) != 0 ? kParityMark : kParitySpace;
    } else {
        settings.parity = (cflag & PARODD) != 0 ? kParityOdd : kParityEven;
    }
    if ((cflag & CSTOPB) == 0) {
        settings.stopBits = kStopBitsOne;
    } else {
        // The same flag gives one and a half stop bits with 5-bit characters.
        settings.stopBits = settings.dataBits == 5 ? kStopBitsOneAndHalf : kStopBitsTwo;
    }
    return settings;
}

uint32_t ControlFlagsFor(const LineSettings& settings, uint32_t cflag) {
    uint32_t code = 0;
    if (!BaudRateToSpeedCode(settings.baudRate, &code)) return cflag;
    // Input speed bits cleared: the input runs at the output speed.
    cflag &= ~static_cast<uint32_t>(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    cflag |= code | DataBitsFlag(settings.dataBits);
    switch (settings.parity) {
    case kParityOdd:
        cflag |= PARENB | PARODD;
        break;
    case kParityEven:
        cflag |= PARENB;
        break;
    case kParityMark:
        cflag |= PARENB | CMSPAR | PARODD;
        break;
    case kParitySpace:
        cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (settings.stopBits != kStopBitsOne) cflag |= CSTOPB;
    return cflag;
}

int ReadLineSettings(int fd, LineSettings* settings) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
    *settings = LineSettingsFrom(tio.c_cflag, tio.c_ospeed);
    return 0;
}

int WriteLineSettings(int fd, const LineSettings& settings) {
    if (!ValidLineSettings(settings)) return EINVAL;
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
    tio.c_cflag = ControlFlagsFor(settings, tio.c_cflag);
    tio.c_ispeed = settings.baudRate;
    tio.c_ospeed = settings.baudRate;
    if (ioctl(fd, TCSETS2, &tio) != 0) return errno;
    return 0;
}

}  // namespace tallyx

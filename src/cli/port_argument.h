#pragma once
// A port as the user names it: COM3, 3, USBX1, or a device path of the system
// (\\.\COM12 on Windows, /dev/ttyUSB0 on Linux), which is turned back into
// the COM name the library's port mapping gives it.
#include <cstdint>
#include <string>

namespace tallyx::cli {

struct PortChoice {
    bool usb = false;
    uint32_t number = 0;  // COM<number> or USBX<number>
    std::string device;   // the device behind a COM port, when there is one

    std::string Name() const { return (usb ? "USBX" : "COM") + std::to_string(number); }
};

// False with a sentence in error when text names no port. A COM port must
// exist; a USB bridge port is only checked when it is opened.
bool ResolvePort(const std::string& text, PortChoice& port, std::string& error);

// The device behind COM<number>, or "" when there is none.
std::string ExistingDevice(uint32_t number);

// The highest COM number the mapping can give.
constexpr uint32_t kHighestComNumber = 299;

}  // namespace tallyx::cli

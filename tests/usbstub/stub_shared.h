// What both stand-ins for the USB bridge library share: the vendor's status
// codes, and the device list.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace tallyx::usbstub {

constexpr int kSuccess = 0x00;
constexpr int kInvalidHandle = 0x01;
constexpr int kReadError = 0x02;
constexpr int kWriteError = 0x04;
constexpr int kInvalidParameter = 0x06;
constexpr int kDeviceIoFailed = 0x08;
constexpr int kInvalidBaudRate = 0x09;
constexpr int kReadTimedOut = 0x0D;
constexpr int kWriteTimedOut = 0x0E;
constexpr int kDeviceNotFound = 0xFF;

// The devices: the entries of TALLYX_USB_STUB_DEVICES, which the Linux
// stand-in separates with ':' and the Windows one with ';'.
inline std::vector<std::string> DeviceList(char separator) {
    std::vector<std::string> entries;
    const char* list = std::getenv("TALLYX_USB_STUB_DEVICES");
    if (list == nullptr) return entries;
    std::string item;
    for (const char* p = list;; ++p) {
        if (*p == separator || *p == '\0') {
            if (!item.empty()) entries.push_back(item);
            item.clear();
            if (*p == '\0') break;
        } else {
            item += *p;
        }
    }
    return entries;
}

}  // namespace tallyx::usbstub

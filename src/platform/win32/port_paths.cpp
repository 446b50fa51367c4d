#include "platform/port_names.h"

namespace tallyx {

std::string PortDevicePath(uint32_t number) {
    // The device path also reaches ports above COM9.
    if (number == 0) return {};
    return "\\\\.\\COM" + std::to_string(number);
}

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

}  // namespace

bool IsDevicePathForm(std::string_view text) { return text.substr(0, kDevicePrefix.size()) == kDevicePrefix; }

uint32_t ComNumberOfDevice(const std::string& path, uint32_t highest) {
    uint32_t number = 0;
    if (!IsDevicePathForm(path) || !ParseComPortNumber(std::string_view(path).substr(kDevicePrefix.size()), &number)) {
        return 0;
    }
    return number <= highest ? number : 0;
}

}  // namespace tallyx

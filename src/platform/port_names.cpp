#include "platform/port_names.h"

#include <cstdlib>

namespace tallyx {

namespace {

constexpr const char* kPortDirVariable = "TALLYX_PORT_DIR";
constexpr uint32_t kBlockSize = 100;

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool ParseComPortNumber(std::string_view name, uint32_t* number) {
    if (name.size() < 4 || Upper(name[0]) != 'C' || Upper(name[1]) != 'O' || Upper(name[2]) != 'M') {
        return false;
    }
    const std::string_view digits = name.substr(3);
    if (digits.size() > 9 || digits[0] == '0') return false;
    uint32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (number != nullptr) *number = value;
    return true;
}

std::string PortDevicePath(uint32_t number) {
    if (number == 0) return {};
    const char* folder = std::getenv(kPortDirVariable);
    if (folder != nullptr && folder[0] != '\0') {
        std::string path = folder;
        if (path.back() != '/') path += '/';
        return path + "COM" + std::to_string(number);
    }
    if (number < kBlockSize) return "/dev/ttyS" + std::to_string(number - 1);
    if (number < 2 * kBlockSize) return "/dev/ttyUSB" + std::to_string(number - kBlockSize);
    if (number < 3 * kBlockSize) return "/dev/ttyACM" + std::to_string(number - 2 * kBlockSize);
    return {};
}

std::string PortDevicePath(std::string_view name) {
    uint32_t number = 0;
    if (!ParseComPortNumber(name, &number)) return {};
    return PortDevicePath(number);
}

}  // namespace tallyx

#include "platform/port_names.h"

namespace tallyx {

namespace {

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

std::string PortDevicePath(std::string_view name) {
    uint32_t number = 0;
    if (!ParseComPortNumber(name, &number)) return {};
    return PortDevicePath(number);
}

}  // namespace tallyx

#include "platform/port_names.h"

namespace tallyx {

std::string PortDevicePath(uint32_t number) {
    // The device path also reaches ports above COM9.
    if (number == 0) return {};
    return "\\\\.\\COM" + std::to_string(number);
}

}  // namespace tallyx

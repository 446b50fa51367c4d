#include <cstdlib>

#include "platform/port_names.h"

namespace tallyx {

namespace {

constexpr const char* kPortDirVariable = "TALLYX_PORT_DIR";
constexpr uint32_t kBlockSize = 100;

}  // namespace

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

}  // namespace tallyx

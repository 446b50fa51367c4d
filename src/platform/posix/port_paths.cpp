#include <cstdlib>

#include "platform/files.h"
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

bool IsDevicePathForm(std::string_view text) { return !text.empty() && text[0] == '/'; }

uint32_t ComNumberOfDevice(const std::string& path, uint32_t highest) {
    // The mapping is searched for the device itself, so that a link to it or another path of it
    // finds its COM name too.
    for (uint32_t n = 1; n <= highest; ++n) {
        const std::string device = PortDevicePath(n);
        if (!device.empty() && SameFileOrDevice(device, path)) return n;
    }
    return 0;
}

}  // namespace tallyx

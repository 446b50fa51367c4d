#include "cli/port_argument.h"

#include <strings.h>

#include <cctype>
#include <climits>
#include <cstdlib>

#include "platform/files.h"
#include "platform/port_names.h"
#include "platform/port_probe.h"
#include "platform/port_texts.h"

namespace tallyx::cli {

namespace {

bool Digits(const std::string& text, uint32_t& number) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    number = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
    return number != 0;
}

}  // namespace

std::string ExistingDevice(uint32_t number) {
    const std::string path = PortDevicePath(number);
    if (path.empty() || !SerialDeviceExists(path)) return "";
    return ResolvedPath(path);
}

bool ResolvePort(const std::string& text, PortChoice& port, std::string& error) {
    port = PortChoice{};
    if (text.size() > 4 && strncasecmp(text.c_str(), "USBX", 4) == 0) {
        if (!Digits(text.substr(4), port.number)) {
            error = "'" + text + "' is no port: a USB bridge port is USBX followed by its number, from 1";
            return false;
        }
        port.usb = true;
        return true;
    }
    if (IsDevicePathForm(text)) {
        port.number = ComNumberOfDevice(text, kHighestComNumber);
        if (port.number == 0) {
            error = "no COM port maps to " + text + " (tallyx ports lists the ports there are)";
            return false;
        }
        port.device = ExistingDevice(port.number);
        if (port.device.empty()) {
            error = "the port " + port.Name() + " (" + text +
                    ") does not exist; tallyx ports lists the ports there are";
            return false;
        }
        return true;
    }
    const std::string digits = text.size() > 3 && strncasecmp(text.c_str(), "COM", 3) == 0 ? text.substr(3) : text;
    if (!Digits(digits, port.number)) {
        error = "'" + text + "' is no port: give " + SystemPortTexts().forms;
        return false;
    }
    port.device = ExistingDevice(port.number);
    if (port.device.empty()) {
        const std::string path = PortDevicePath(port.number);
        error = "the port " + port.Name() + " does not exist" + (path.empty() ? "" : " (it would be " + path + ")") +
                "; tallyx ports lists the ports there are";
        return false;
    }
    return true;
}

}  // namespace tallyx::cli

#include "reader/port_probe.h"

#include "platform/port_names.h"
#include "platform/port_probe.h"
#include "platform/win32_error.h"

#include <cerrno>

namespace tallyx {

uint32_t SystemErrorFromErrno(int error) { return Win32ErrorFromErrno(error); }

std::string ComPortDevicePath(int n) { return n > 0 ? PortDevicePath(static_cast<uint32_t>(n)) : std::string(); }

PortProbeResult ProbeComPort(int n) {
    PortProbeResult result;
    result.devicePath = ComPortDevicePath(n);
    if (result.devicePath.empty()) {
        result.state = PortState::Absent;
        result.osError = ENOENT;
        result.errorNumber = SystemErrorFromErrno(ENOENT);
        return result;
    }
    const DeviceProbeResult probe = ProbeSerialDevice(result.devicePath);
    switch (probe.state) {
    case DeviceProbeState::Present:
        result.state = PortState::Present;
        break;
    case DeviceProbeState::Absent:
        result.state = PortState::Absent;
        break;
    case DeviceProbeState::InUse:
        result.state = PortState::InUse;
        break;
    case DeviceProbeState::OtherFailure:
        result.state = PortState::OtherFailure;
        break;
    }
    result.resolvedPath = probe.resolvedPath;
    result.osError = probe.osError;
    result.errorNumber = probe.errorNumber;
    return result;
}

}  // namespace tallyx

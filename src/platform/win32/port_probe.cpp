#include "platform/port_probe.h"

#include <windows.h>

namespace tallyx {

DeviceProbeResult ProbeSerialDevice(const std::string& path) {
    DeviceProbeResult result;
    const HANDLE device =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device != INVALID_HANDLE_VALUE) {
        CloseHandle(device);
        result.state = DeviceProbeState::Present;
        result.resolvedPath = path;
        return result;
    }
    const DWORD error = GetLastError();
    result.osError = static_cast<int>(error);
    result.errorNumber = error;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        result.state = DeviceProbeState::Absent;
        break;
    case ERROR_ACCESS_DENIED:
        result.state = DeviceProbeState::InUse;
        break;
    default:
        result.state = DeviceProbeState::OtherFailure;
        break;
    }
    return result;
}

}  // namespace tallyx

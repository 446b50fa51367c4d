#include "platform/port_probe.h"

#include <windows.h>

namespace tallyx {

DeviceProbeResult ProbeSerialDevice(const std::string& path) {
    DeviceProbeResult result;
    const HANDLE device =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device != INVALID_HANDLE_VALUE) {
        // A name may open without a serial port behind it (Wine opens a COM name whose device
        // is gone): only a device that keeps a communications state is a port.
        DCB state{};
        state.DCBlength = sizeof state;
        const bool serial = GetCommState(device, &state) != FALSE;
        const DWORD error = serial ? ERROR_SUCCESS : GetLastError();
        CloseHandle(device);
        if (!serial) {
            result.state = DeviceProbeState::Absent;
            result.osError = static_cast<int>(error);
            result.errorNumber = error;
            return result;
        }
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

bool SerialDeviceExists(const std::string& path) {
    const DeviceProbeState state = ProbeSerialDevice(path).state;
    return state == DeviceProbeState::Present || state == DeviceProbeState::InUse;
}

}  // namespace tallyx

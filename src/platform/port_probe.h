#pragma once
// Tells whether the device of a serial port exists and is free, the way the reader checks
// each COM port before it tries to read a counter there.
#include <cstdint>
#include <string>

namespace tallyx {

enum class DeviceProbeState { Present, Absent, InUse, OtherFailure };

struct DeviceProbeResult {
    DeviceProbeState state = DeviceProbeState::Absent;
    std::string resolvedPath;  // the device node behind the path, when present and known
    int osError = 0;           // the system's own error number of the failed step, 0 when present
    uint32_t errorNumber = 0;  // the same failure as a Windows system error number
};

// Opens the device for reading and writing, without sharing, as an existing device, and closes
// it again.
DeviceProbeResult ProbeSerialDevice(const std::string& path);

// Whether a serial port is there, free or held by another program: the device path exists, and
// on Windows a free port also keeps a communications state (a COM name can lead nowhere).
bool SerialDeviceExists(const std::string& path);

}  // namespace tallyx

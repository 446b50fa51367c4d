#pragma once
// Finding out whether the serial port COM<n> exists and is free.
#include <cstdint>
#include <string>

namespace tallyx {

enum class PortState { Present, Absent, InUse, OtherFailure };

struct PortProbeResult {
    PortState state = PortState::Absent;
    std::string devicePath;    // the device COM<n> stands for
    std::string resolvedPath;  // the device node behind devicePath, when present
    int osError = 0;           // the system's error number of the failed step, 0 when present
    uint32_t errorNumber = 0;  // the same failure as a Windows system error number
};

// The device that COM<n> names, the same way the library maps port names;
// empty when no device can be COM<n>.
std::string ComPortDevicePath(int n);

// Opens the device of COM<n> for reading and writing, takes a non-blocking
// exclusive lock on it and closes it again.
PortProbeResult ProbeComPort(int n);

// The Windows system error number that stands for an errno value.
uint32_t SystemErrorFromErrno(int error);

}  // namespace tallyx

#include "platform/port_probe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/files.h"
#include "platform/win32_error.h"

namespace tallyx {

namespace {

DeviceProbeResult Failed(DeviceProbeState state, int error) {
    DeviceProbeResult result;
    result.state = state;
    result.osError = error;
    result.errorNumber = Win32ErrorFromErrno(error);
    return result;
}

}  // namespace

DeviceProbeResult ProbeSerialDevice(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EIO:  // a serial node without hardware behind it
            return Failed(DeviceProbeState::Absent, error);
        case EACCES:
        case EPERM:
        case EBUSY:  // held exclusively by another program
            return Failed(DeviceProbeState::InUse, error);
        default:
            return Failed(DeviceProbeState::OtherFailure, error);
        }
    }
    // Another program that has the port open holds this lock.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(fd);
        // The device is busy, as an exclusive open held elsewhere reports it.
        return Failed(DeviceProbeState::InUse, EBUSY);
    }
    close(fd);  // also drops our own lock
    DeviceProbeResult result;
    result.state = DeviceProbeState::Present;
    if (char* resolved = realpath(path.c_str(), nullptr)) {
        result.resolvedPath = resolved;
        std::free(resolved);
    }
    return result;
}

bool SerialDeviceExists(const std::string& path) { return PathExists(path); }

}  // namespace tallyx

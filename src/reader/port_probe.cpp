#include "reader/port_probe.h"

#include "platform/port_names.h"
#include "platform/win32_error.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tallyx {

namespace {

PortProbeResult Failed(std::string path, PortState state, int error) {
    PortProbeResult result;
    result.state = state;
    result.devicePath = std::move(path);
    result.osError = error;
    result.errorNumber = SystemErrorFromErrno(error);
    return result;
}

}  // namespace

uint32_t SystemErrorFromErrno(int error) { return Win32ErrorFromErrno(error); }

std::string ComPortDevicePath(int n) { return n > 0 ? PortDevicePath(static_cast<uint32_t>(n)) : std::string(); }

PortProbeResult ProbeComPort(int n) {
    std::string path = ComPortDevicePath(n);
    if (path.empty()) return Failed(std::move(path), PortState::Absent, ENOENT);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EIO:  // a serial node without hardware behind it
            return Failed(std::move(path), PortState::Absent, error);
        case EACCES:
        case EPERM:
        case EBUSY:  // held exclusively by another program
            return Failed(std::move(path), PortState::InUse, error);
        default:
            return Failed(std::move(path), PortState::OtherFailure, error);
        }
    }
    // Another program that has the port open holds this lock.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(fd);
        // The device is busy, as an exclusive open held elsewhere reports it.
        return Failed(std::move(path), PortState::InUse, EBUSY);
    }
    close(fd);  // also drops our own lock
    PortProbeResult result;
    result.state = PortState::Present;
    if (char* resolved = realpath(path.c_str(), nullptr)) {
        result.resolvedPath = resolved;
        std::free(resolved);
    }
    result.devicePath = std::move(path);
    return result;
}

}  // namespace tallyx

#include "reader/port_probe.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tallyx {

namespace {

constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kNotEnoughMemory = 8;
constexpr uint32_t kGeneralFailure = 31;
constexpr uint32_t kInvalidParameter = 87;
constexpr uint32_t kIoDevice = 1117;

PortProbeResult Failed(std::string path, PortState state, int error) {
    PortProbeResult result;
    result.state = state;
    result.devicePath = std::move(path);
    result.osError = error;
    result.errorNumber = SystemErrorFromErrno(error);
    return result;
}

}  // namespace

uint32_t SystemErrorFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return kFileNotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        return kAccessDenied;
    case EINVAL:
        return kInvalidParameter;
    case EIO:
        return kIoDevice;
    case ENOMEM:
        return kNotEnoughMemory;
    default:
        return kGeneralFailure;
    }
}

std::string ComPortDevicePath(int n) {
    const char* folder = std::getenv("TALLYX_PORT_DIR");
    if (folder != nullptr && folder[0] != '\0') {
        std::string path = folder;
        if (path.back() != '/') path += '/';
        return path + "COM" + std::to_string(n);
    }
    return "/dev/ttyS" + std::to_string(n - 1);
}

PortProbeResult ProbeComPort(int n) {
    std::string path = ComPortDevicePath(n);
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
        const int error = errno;
        close(fd);
        return Failed(std::move(path), PortState::InUse, error);
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

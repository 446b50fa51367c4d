#include "platform/posix/serial_device.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/win32_error.h"

namespace tallyx {

namespace {

int MakeRaw(int fd) {
    struct termios tio {};
    if (tcgetattr(fd, &tio) != 0) return errno;
    cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag |= CLOCAL | CREAD;
    // With the descriptor non-blocking, VMIN 1 makes an empty read fail with
    // EAGAIN, so that a read of 0 bytes can only mean the device hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return errno;
    return 0;
}

}  // namespace

uint32_t OpenSerialDevice(const char* path, int* fd) {
    *fd = -1;
    const int handle = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) {
        const int error = errno;
        // A serial node with no hardware behind it: there is no such port.
        if (error == EIO) return kErrorFileNotFound;
        return Win32ErrorFromErrno(error);
    }
    if (flock(handle, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(handle);
        // Someone else holds the lock: the port is in use.
        if (error == EWOULDBLOCK) return kErrorAccessDenied;
        return Win32ErrorFromErrno(error);
    }
    if (ioctl(handle, TIOCEXCL) != 0) {
        const int error = errno;
        close(handle);
        return Win32ErrorFromErrno(error);
    }
    if (const int error = MakeRaw(handle); error != 0) {
        ioctl(handle, TIOCNXCL);
        close(handle);
        return Win32ErrorFromErrno(error);
    }
    // A port opens with empty queues, as a Windows COM port does: bytes that
    // reached the device before this opening (answers an earlier user of the
    // line left unread) belong to nobody now.
    tcflush(handle, TCIOFLUSH);
    *fd = handle;
    return kErrorSuccess;
}

void CloseSerialDevice(int fd) {
    if (fd < 0) return;
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    close(fd);
}

int SetFlowControl(int fd, int32_t mode) {
    if (mode != kFlowNone && mode != kFlowHardware && mode != kFlowSoftware) return EINVAL;
    struct termios tio {};
    if (tcgetattr(fd, &tio) != 0) return errno;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (mode == kFlowHardware) tio.c_cflag |= CRTSCTS;
    if (mode == kFlowSoftware) tio.c_iflag |= IXON | IXOFF;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return errno;
    return SetModemLines(fd, mode != kFlowSoftware);
}

int GetFlowControl(int fd, int32_t* mode) {
    struct termios tio {};
    if (tcgetattr(fd, &tio) != 0) return errno;
    if ((tio.c_cflag & CRTSCTS) != 0) {
        *mode = kFlowHardware;
    } else if ((tio.c_iflag & IXON) != 0 && (tio.c_iflag & IXOFF) != 0) {
        *mode = kFlowSoftware;
    } else {
        *mode = kFlowNone;
    }
    return 0;
}

int SetModemLines(int fd, bool on) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &lines) == 0) return 0;
    const int error = errno;
    // Pseudo-terminals and some adapters have no modem lines.
    if (error == ENOTTY || error == EINVAL) return 0;
    return error;
}

int FlushSerialDevice(int fd) {
    if (tcflush(fd, TCIOFLUSH) != 0) return errno;
    return 0;
}

}  // namespace tallyx

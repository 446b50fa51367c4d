#include "platform/serial_line.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <string>

#include "platform/port_names.h"
#include "platform/posix/line_errors.h"
#include "platform/posix/line_settings.h"
#include "platform/posix/serial_device.h"
#include "platform/win32_error.h"

namespace tallyx {

// Event bits the waits report.
namespace {
constexpr uint32_t kEventRxChar = 0x0001;
constexpr uint32_t kEventBreak = 0x0040;
constexpr uint32_t kEventError = 0x0080;
}  // namespace

struct SerialLine {
    int fd = -1;
    bool blockingReads = false;           // read mode 1
    bool haveCounters = false;            // the driver counts line errors
    LineErrorCounters countersTaken;      // as of the last TakeSerialLineErrors
    LineErrorCounters countersSignaled;   // as of the last wait
};

namespace {

using Clock = std::chrono::steady_clock;

// The end of a bounded wait, handed to poll() in slices.
class Deadline {
public:
    explicit Deadline(uint32_t timeoutMs)
        : infinite(timeoutMs == kInfinite), end(Clock::now() + std::chrono::milliseconds(timeoutMs)) {}

    // The time-out for the next poll(): -1 without limit, else the
    // milliseconds left, rounded up so that a wait never ends early.
    int PollTimeout() const {
        if (infinite) return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return 0;
        return left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }

private:
    bool infinite;
    Clock::time_point end;
};

// Waits for the descriptor to become readable or writable. Returns 0 when it
// is, kErrorTimeout when the deadline passes, kErrorIoDevice when the device
// hung up or failed, or the error number of poll().
uint32_t WaitReady(int fd, short events, const Deadline& deadline) {
    for (;;) {
        struct pollfd pfd {fd, events, 0};
        const int timeout = deadline.PollTimeout();
        const int n = poll(&pfd, 1, timeout);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Win32ErrorFromErrno(errno);
        }
        if (n == 0) {
            if (timeout == INT_MAX) continue;  // only a slice of a longer wait
            return kErrorTimeout;
        }
        if ((pfd.revents & events) != 0) return kErrorSuccess;
        return kErrorIoDevice;  // POLLHUP, POLLERR or POLLNVAL without readiness
    }
}

// True when received bytes wait to be read. A device that has hung up
// refuses the question.
bool HasPendingInput(int fd) {
    int count = 0;
    return ioctl(fd, FIONREAD, &count) == 0 && count > 0;
}

// The line error bits of what the device counted since `since`, which then
// becomes the counters as they stand; 0 without counters.
uint32_t LineErrorsSince(const SerialLine* line, LineErrorCounters& since) {
    if (!line->haveCounters) return 0;
    LineErrorCounters now;
    if (!ReadLineErrorCounters(line->fd, &now)) return 0;
    const uint32_t bits = LineErrorBits(since, now);
    since = now;
    return bits;
}

// The events line errors and breaks counted since the last wait add.
uint32_t NewLineEvents(SerialLine* line) {
    const uint32_t bits = LineErrorsSince(line, line->countersSignaled);
    uint32_t events = 0;
    if ((bits & kLineErrorBreak) != 0) events |= kEventBreak;
    if ((bits & ~kLineErrorBreak) != 0) events |= kEventError;
    return events;
}

}  // namespace

uint32_t OpenSerialLine(const char* name, bool /*overlapped*/, SerialLine** line) {
    // Every wait is bounded here whether or not the caller asked for overlapped requests.
    *line = nullptr;
    const std::string path = PortDevicePath(std::string_view(name));
    if (path.empty()) return kErrorFileNotFound;
    int fd = -1;
    if (const uint32_t code = OpenSerialDevice(path.c_str(), &fd); code != kErrorSuccess) return code;
    auto* opened = new SerialLine;
    opened->fd = fd;
    opened->haveCounters = ReadLineErrorCounters(fd, &opened->countersTaken);
    opened->countersSignaled = opened->countersTaken;
    *line = opened;
    return kErrorSuccess;
}

void CloseSerialLine(SerialLine* line) {
    if (line == nullptr) return;
    CloseSerialDevice(line->fd);
    delete line;
}

uint32_t ReadSerialLineSettings(SerialLine* line, LineSettings* settings) {
    return Win32ErrorFromErrno(ReadLineSettings(line->fd, settings));
}

uint32_t WriteSerialLineSettings(SerialLine* line, const LineSettings& settings) {
    return Win32ErrorFromErrno(WriteLineSettings(line->fd, settings));
}

uint32_t SetSerialLineFlowControl(SerialLine* line, int32_t mode) {
    return Win32ErrorFromErrno(SetFlowControl(line->fd, mode));
}

uint32_t GetSerialLineFlowControl(SerialLine* line, int32_t* mode) {
    return Win32ErrorFromErrno(GetFlowControl(line->fd, mode));
}

uint32_t SetSerialLineReadMode(SerialLine* line, bool blocking) {
    line->blockingReads = blocking;
    return kErrorSuccess;
}

uint32_t SetSerialLineEventChar(SerialLine*, char) {
    // The terminal interface has no event character; the port keeps it for the getter.
    return kErrorSuccess;
}

uint32_t SetSerialLineEventMask(SerialLine*, uint32_t) {
    // The mask is applied to what each wait finds.
    return kErrorSuccess;
}

uint32_t WaitSerialLineEvents(SerialLine* line, uint32_t mask, uint32_t timeoutMs, uint32_t* events) {
    *events = 0;
    const Deadline deadline(timeoutMs);
    const short wanted = (mask & kEventRxChar) != 0 ? POLLIN : 0;
    for (;;) {
        struct pollfd pfd {line->fd, wanted, 0};
        const int timeout = deadline.PollTimeout();
        const int n = poll(&pfd, 1, timeout);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Win32ErrorFromErrno(errno);
        }
        uint32_t found = NewLineEvents(line);
        if (n > 0) {
            if ((pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && !HasPendingInput(line->fd)) {
                // The far end closed or the adapter was unplugged. A hung-up
                // device also claims to be readable, so readiness alone
                // proves nothing here.
                found |= kEventError;
            } else if ((pfd.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                found |= kEventRxChar;
            }
        }
        found &= mask;
        if (found != 0) {
            *events = found;
            return kErrorSuccess;
        }
        // poll() reported a condition that lasts (a hang-up) and that the mask
        // does not take: fail instead of polling again at once.
        if (n > 0) return kErrorIoDevice;
        if (timeout != INT_MAX) return kErrorTimeout;
    }
}

uint32_t WriteSerialLine(SerialLine* line, const void* data, uint32_t size, uint32_t* count, uint32_t timeoutMs) {
    // The whole write, however many pieces it takes, is bounded by timeoutMs.
    // On failure the count still says how much went out.
    *count = 0;
    const Deadline deadline(timeoutMs);
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (*count < size) {
        const ssize_t n = ::write(line->fd, bytes + *count, size - *count);
        if (n > 0) {
            *count += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Win32ErrorFromErrno(errno);
        if (const uint32_t code = WaitReady(line->fd, POLLOUT, deadline); code != kErrorSuccess) return code;
    }
    return kErrorSuccess;
}

uint32_t ReadSerialLine(SerialLine* line, void* buffer, uint32_t size, uint32_t* count, uint32_t timeoutMs) {
    // Read mode 0 takes what has arrived and returns; mode 1 waits for all
    // size bytes, bounded by timeoutMs. A time-out keeps the count of what did
    // arrive, so nothing that was taken from the device is lost.
    *count = 0;
    const Deadline deadline(timeoutMs);
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (*count < size) {
        const ssize_t n = ::read(line->fd, bytes + *count, size - *count);
        if (n > 0) {
            *count += static_cast<uint32_t>(n);
            if (!line->blockingReads) break;
            continue;
        }
        // The descriptor is non-blocking with VMIN 1, so end of file means
        // the device hung up; it is never "no data yet".
        if (n == 0) return kErrorIoDevice;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return Win32ErrorFromErrno(errno);
        if (!line->blockingReads) break;
        if (const uint32_t code = WaitReady(line->fd, POLLIN, deadline); code != kErrorSuccess) return code;
    }
    return kErrorSuccess;
}

uint32_t PurgeSerialLine(SerialLine* line) { return Win32ErrorFromErrno(FlushSerialDevice(line->fd)); }

uint32_t TakeSerialLineErrors(SerialLine* line) { return LineErrorsSince(line, line->countersTaken); }

}  // namespace tallyx

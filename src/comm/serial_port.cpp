#include "comm/serial_port.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/line_settings.h"
#include "platform/port_names.h"
#include "platform/serial_device.h"

namespace tallyx {

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

}  // namespace

SerialPort::~SerialPort() { SerialPort::Close(); }

uint32_t SerialPort::Open(const char* name, uint32_t /*inQueue*/, uint32_t /*outQueue*/, bool overlapped) {
    // The queue sizes are the driver's own on this system; sizes of 0 are what
    // the library asks for anyway.
    lastError = 0;
    if (handle >= 0) return Result(kErrorAlreadyInitialized);
    if (name == nullptr) return Result(kErrorInvalidParameter);
    const std::string path = PortDevicePath(std::string_view(name));
    if (path.empty()) return Result(kErrorFileNotFound);

    int fd = -1;
    if (const uint32_t code = OpenSerialDevice(path.c_str(), &fd); code != kErrorSuccess) return Result(code);
    handle = fd;
    overlappedMode = overlapped;
    eventChar = 0;
    lastEvents = 0;
    haveCounters = ReadLineErrorCounters(handle, &countersTaken);
    countersSignaled = countersTaken;

    SetEventMask(kDefaultEventMask);
    return SetReadMode(0);
}

uint32_t SerialPort::Close() {
    lastError = 0;
    if (handle < 0) return kErrorSuccess;
    CloseSerialDevice(handle);
    handle = -1;
    overlappedMode = false;
    blockingReads = false;
    haveCounters = false;
    return lastError;
}

uint32_t SerialPort::Configure(uint32_t baudRate, uint8_t dataBits, int32_t parity, uint8_t stopBits) {
    lastError = 0;
    if (handle < 0) return Result(kErrorInvalidHandle);
    LineSettings settings;
    settings.baudRate = baudRate;
    settings.dataBits = dataBits;
    // The parity code travels as one byte: -1 becomes 255, which no parity is.
    settings.parity = static_cast<uint8_t>(parity);
    settings.stopBits = stopBits;
    return Result(Win32ErrorFromErrno(WriteLineSettings(handle, settings)));
}

uint32_t SerialPort::SetEventChar(char ch, bool addToMask) {
    lastError = 0;
    if (handle < 0) return Result(kErrorInvalidHandle);
    eventChar = ch;
    if (addToMask) return SetEventMask(eventMask | kEventRxFlag);
    return kErrorSuccess;
}

uint32_t SerialPort::SetEventMask(uint32_t mask) {
    lastError = 0;
    if (handle < 0) return Result(kErrorInvalidHandle);
    eventMask = mask;
    return kErrorSuccess;
}

uint32_t SerialPort::CheckRequest(const void* overlapped, uint32_t timeoutMs) const {
    if (handle < 0) return kErrorInvalidHandle;
    if (!overlappedMode && (overlapped != nullptr || timeoutMs != kInfinite)) return kErrorInvalidFunction;
    return kErrorSuccess;
}

uint32_t SerialPort::NewLineEvents() {
    if (!haveCounters) return 0;
    LineErrorCounters now;
    if (!ReadLineErrorCounters(handle, &now)) return 0;
    const uint32_t bits = LineErrorBits(countersSignaled, now);
    countersSignaled = now;
    uint32_t events = 0;
    if ((bits & kLineErrorBreak) != 0) events |= kEventBreak;
    if ((bits & ~kLineErrorBreak) != 0) events |= kEventError;
    return events;
}

uint32_t SerialPort::WaitForEvent(void* overlapped, uint32_t timeoutMs) {
    // A caller's request record cannot be completed later on this system: the
    // wait is always carried out here, bounded by timeoutMs.
    lastError = 0;
    if (const uint32_t code = CheckRequest(overlapped, timeoutMs); code != kErrorSuccess) return Result(code);
    if (eventMask == 0) return Result(kErrorInvalidParameter);

    const Deadline deadline(timeoutMs);
    const short wanted = (eventMask & kEventRxChar) != 0 ? POLLIN : 0;
    for (;;) {
        struct pollfd pfd {handle, wanted, 0};
        const int timeout = deadline.PollTimeout();
        const int n = poll(&pfd, 1, timeout);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Result(Win32ErrorFromErrno(errno));
        }
        uint32_t events = NewLineEvents();
        if (n > 0) {
            if ((pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && !HasPendingInput(handle)) {
                // The far end closed or the adapter was unplugged. A hung-up
                // device also claims to be readable, so readiness alone
                // proves nothing here.
                events |= kEventError;
            } else if ((pfd.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                events |= kEventRxChar;
            }
        }
        events &= eventMask;
        if (events != 0) {
            lastEvents = events;
            return kErrorSuccess;
        }
        // poll() reported a condition that lasts (a hang-up) and that the mask
        // does not take: fail instead of polling again at once.
        if (n > 0) return Result(kErrorIoDevice);
        if (timeout != INT_MAX) return Result(kErrorTimeout);
    }
}

uint32_t SerialPort::TakeEvents() {
    lastError = 0;
    const uint32_t events = lastEvents & eventMask;
    lastEvents = 0;
    return events;
}

uint32_t SerialPort::TakeLineErrors() {
    lastError = 0;
    if (handle < 0) {
        lastError = kErrorInvalidHandle;
        return 0;
    }
    if (!haveCounters) return 0;
    LineErrorCounters now;
    if (!ReadLineErrorCounters(handle, &now)) return 0;
    const uint32_t bits = LineErrorBits(countersTaken, now);
    countersTaken = now;
    return bits;
}

uint32_t SerialPort::SetHandshaking(int32_t mode) {
    lastError = 0;
    if (handle < 0) return Result(kErrorInvalidHandle);
    if (mode != kFlowNone && mode != kFlowHardware && mode != kFlowSoftware) return Result(kErrorInvalidArg);
    return Result(Win32ErrorFromErrno(SetFlowControl(handle, mode)));
}

uint32_t SerialPort::SetReadMode(int32_t mode) {
    lastError = 0;
    if (handle < 0) return Result(kErrorInvalidHandle);
    if (mode != 0 && mode != 1) return Result(kErrorInvalidArg);
    blockingReads = (mode == 1);
    return kErrorSuccess;
}

template <typename Field>
int32_t SerialPort::GetLineSetting(Field field) {
    lastError = 0;
    if (handle < 0) {
        lastError = kErrorInvalidHandle;
        return -1;
    }
    LineSettings settings;
    if (const int error = ReadLineSettings(handle, &settings); error != 0) {
        lastError = Win32ErrorFromErrno(error);
        return -1;
    }
    return static_cast<int32_t>(settings.*field);
}

int32_t SerialPort::GetBaudRate() { return GetLineSetting(&LineSettings::baudRate); }
int32_t SerialPort::GetDataBits() { return GetLineSetting(&LineSettings::dataBits); }
int32_t SerialPort::GetParity() { return GetLineSetting(&LineSettings::parity); }
int32_t SerialPort::GetStopBits() { return GetLineSetting(&LineSettings::stopBits); }

int32_t SerialPort::GetHandshaking() {
    lastError = 0;
    if (handle < 0) {
        lastError = kErrorInvalidHandle;
        return -1;
    }
    int32_t mode = 0;
    if (const int error = GetFlowControl(handle, &mode); error != 0) {
        lastError = Win32ErrorFromErrno(error);
        return -1;
    }
    return mode;
}

uint32_t SerialPort::GetEventMask() {
    // Asked through IsOpen(), so that a derived port without a device
    // descriptor of its own reports its mask as well.
    lastError = 0;
    if (!IsOpen()) {
        lastError = kErrorInvalidHandle;
        return 0;
    }
    return eventMask;
}

char SerialPort::GetEventChar() {
    lastError = 0;
    if (handle < 0) {
        lastError = kErrorInvalidHandle;
        return 0;
    }
    return eventChar;
}

uint32_t SerialPort::WriteText(const char* text, uint32_t* written, void* overlapped, uint32_t timeoutMs) {
    lastError = 0;
    if (written != nullptr) *written = 0;
    if (text == nullptr) return Result(kErrorInvalidParameter);
    const size_t length = std::strlen(text);
    if (length > UINT32_MAX) return Result(kErrorInvalidParameter);
    return Write(text, static_cast<uint32_t>(length), written, overlapped, timeoutMs);
}

uint32_t SerialPort::Write(const void* data, uint32_t size, uint32_t* written, void* overlapped, uint32_t timeoutMs) {
    lastError = 0;
    uint32_t ignored = 0;
    uint32_t& count = written != nullptr ? *written : ignored;
    count = 0;
    if (const uint32_t code = CheckRequest(overlapped, timeoutMs); code != kErrorSuccess) return Result(code);
    if (size == 0) return kErrorSuccess;
    if (data == nullptr) return Result(kErrorInvalidParameter);

    // The whole write, however many pieces it takes, is bounded by timeoutMs.
    // On failure the count still says how much went out.
    const Deadline deadline(timeoutMs);
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (count < size) {
        const ssize_t n = ::write(handle, bytes + count, size - count);
        if (n > 0) {
            count += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Result(Win32ErrorFromErrno(errno));
        if (const uint32_t code = WaitReady(handle, POLLOUT, deadline); code != kErrorSuccess) return Result(code);
    }
    return kErrorSuccess;
}

uint32_t SerialPort::Read(void* buffer, uint32_t size, uint32_t* received, void* overlapped, uint32_t timeoutMs) {
    lastError = 0;
    uint32_t ignored = 0;
    uint32_t& count = received != nullptr ? *received : ignored;
    count = 0;
    if (const uint32_t code = CheckRequest(overlapped, timeoutMs); code != kErrorSuccess) return Result(code);
    if (size == 0) return kErrorSuccess;
    if (buffer == nullptr) return Result(kErrorInvalidParameter);

    // Read mode 0 takes what has arrived and returns; mode 1 waits for all
    // size bytes, bounded by timeoutMs. A time-out keeps the count of what did
    // arrive, so nothing that was taken from the device is lost.
    const Deadline deadline(timeoutMs);
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (count < size) {
        const ssize_t n = ::read(handle, bytes + count, size - count);
        if (n > 0) {
            count += static_cast<uint32_t>(n);
            if (!blockingReads) break;
            continue;
        }
        // The descriptor is non-blocking with VMIN 1, so end of file means
        // the device hung up; it is never "no data yet".
        if (n == 0) return Result(kErrorIoDevice);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return Result(Win32ErrorFromErrno(errno));
        if (!blockingReads) break;
        if (const uint32_t code = WaitReady(handle, POLLIN, deadline); code != kErrorSuccess) return Result(code);
    }
    return kErrorSuccess;
}

uint32_t SerialPort::Purge() {
    lastError = 0;
    if (handle < 0) return Result(kErrorInvalidHandle);
    return Result(Win32ErrorFromErrno(FlushSerialDevice(handle)));
}

bool SerialPort::IsOpen() { return handle >= 0; }

}  // namespace tallyx

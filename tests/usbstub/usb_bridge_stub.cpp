// A stand-in for the USB bridge vendor's library whose devices are serial
// devices (in tests, pseudo-terminal slaves) named by an environment variable.
// It implements the thirteen functions the USB port uses, with the vendor's
// status values, plus a few controls for tests (usb_bridge_stub.h).
#include "usb_bridge_stub.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "../../src/platform/usb_bridge_api.h"
#include "stub_shared.h"

namespace {

using namespace tallyx::usbstub;
constexpr uint32_t kInfinite = 0xFFFFFFFFu;
constexpr uint64_t kNoFlowControl = ~0ull;

struct Device {
    int fd = -1;
    uint32_t index = 0;
};

struct Recorded {
    uint32_t baudRate = 0;
    uint32_t lineControl = 0;
    uint64_t flowControl = kNoFlowControl;
};

struct State {
    std::mutex mutex;
    std::map<std::string, int> forced;
    std::map<std::string, uint32_t> calls;
    std::map<uint32_t, Recorded> recorded;
    std::set<Device*> open;
    uint32_t readTimeout = 1000;
    uint32_t writeTimeout = 1000;
};

State& Stub() {
    static State state;
    return state;
}

std::vector<std::string> DevicePaths() { return DeviceList(':'); }

// Counts the call; returns the status forced on the function, or -1.
int Enter(const char* function) {
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.calls[function];
    const auto it = s.forced.find(function);
    return it == s.forced.end() ? -1 : it->second;
}

Device* Lookup(void* handle) {
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto* device = static_cast<Device*>(handle);
    return s.open.count(device) != 0 ? device : nullptr;
}

int MillisecondsLeft(std::chrono::steady_clock::time_point end) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

}  // namespace

extern "C" {

int SI_GetNumDevices(uint32_t* numDevices) {
    if (const int forced = Enter("SI_GetNumDevices"); forced >= 0) return forced;
    if (numDevices == nullptr) return kInvalidParameter;
    *numDevices = static_cast<uint32_t>(DevicePaths().size());
    return kSuccess;
}

int SI_GetProductString(uint32_t device, void* text, uint32_t flags) {
    if (const int forced = Enter("SI_GetProductString"); forced >= 0) return forced;
    if (text == nullptr || flags > 4) return kInvalidParameter;
    if (device >= DevicePaths().size()) return kDeviceNotFound;
    std::snprintf(static_cast<char*>(text), 256, "Stand-in USB bridge %u", device + 1);
    return kSuccess;
}

int SI_Open(uint32_t device, void** handle) {
    if (const int forced = Enter("SI_Open"); forced >= 0) return forced;
    if (handle == nullptr) return kInvalidParameter;
    *handle = nullptr;
    const std::vector<std::string> paths = DevicePaths();
    if (device >= paths.size()) return kDeviceNotFound;
    const int fd = open(paths[device].c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kDeviceNotFound;
    struct termios tio {};
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &tio);
    }
    auto* opened = new Device{fd, device};
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.open.insert(opened);
    *handle = opened;
    return kSuccess;
}

int SI_Close(void* handle) {
    if (const int forced = Enter("SI_Close"); forced >= 0) return forced;
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto* device = static_cast<Device*>(handle);
    if (s.open.erase(device) == 0) return kInvalidHandle;
    close(device->fd);
    delete device;
    return kSuccess;
}

// Waits up to the read time-out for data, then hands over what is there (at
// most size bytes).
int SI_Read(void* handle, void* buf, uint32_t size, uint32_t* got, void* overlapped) {
    if (const int forced = Enter("SI_Read"); forced >= 0) return forced;
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    if (buf == nullptr || got == nullptr || overlapped != nullptr || size == 0) return kInvalidParameter;
    *got = 0;
    uint32_t timeout = 0;
    {
        State& s = Stub();
        std::lock_guard<std::mutex> lock(s.mutex);
        timeout = s.readTimeout;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    for (;;) {
        const ssize_t n = read(device->fd, buf, size);
        if (n > 0) {
            *got = static_cast<uint32_t>(n);
            return kSuccess;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno != EAGAIN) return kDeviceIoFailed;
        struct pollfd pfd {device->fd, POLLIN, 0};
        const int wait = timeout == kInfinite ? -1 : MillisecondsLeft(end);
        if (wait == 0) return kReadTimedOut;
        const int ready = poll(&pfd, 1, wait);
        if (ready < 0 && errno != EINTR) return kReadError;
    }
}

int SI_Write(void* handle, void* buf, uint32_t size, uint32_t* put, void* overlapped) {
    if (const int forced = Enter("SI_Write"); forced >= 0) return forced;
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    if (buf == nullptr || put == nullptr || overlapped != nullptr) return kInvalidParameter;
    *put = 0;
    uint32_t timeout = 0;
    {
        State& s = Stub();
        std::lock_guard<std::mutex> lock(s.mutex);
        timeout = s.writeTimeout;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    const auto* bytes = static_cast<const unsigned char*>(buf);
    while (*put < size) {
        const ssize_t n = write(device->fd, bytes + *put, size - *put);
        if (n > 0) {
            *put += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return kWriteError;
        struct pollfd pfd {device->fd, POLLOUT, 0};
        const int wait = timeout == kInfinite ? -1 : MillisecondsLeft(end);
        if (wait == 0) return kWriteTimedOut;
        const int ready = poll(&pfd, 1, wait);
        if (ready < 0 && errno != EINTR) return kWriteError;
        if (ready > 0 && (pfd.revents & POLLOUT) == 0) return kWriteError;
    }
    return kSuccess;
}

int SI_FlushBuffers(void* handle, uint8_t tx, uint8_t rx) {
    if (const int forced = Enter("SI_FlushBuffers"); forced >= 0) return forced;
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    if (tx != 0 && rx != 0) {
        tcflush(device->fd, TCIOFLUSH);
    } else if (tx != 0) {
        tcflush(device->fd, TCOFLUSH);
    } else if (rx != 0) {
        tcflush(device->fd, TCIFLUSH);
    }
    return kSuccess;
}

int SI_SetTimeouts(uint32_t read, uint32_t write) {
    if (const int forced = Enter("SI_SetTimeouts"); forced >= 0) return forced;
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.readTimeout = read;
    s.writeTimeout = write;
    return kSuccess;
}

int SI_GetTimeouts(uint32_t* read, uint32_t* write) {
    if (const int forced = Enter("SI_GetTimeouts"); forced >= 0) return forced;
    if (read == nullptr || write == nullptr) return kInvalidParameter;
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    *read = s.readTimeout;
    *write = s.writeTimeout;
    return kSuccess;
}

int SI_CheckRXQueue(void* handle, uint32_t* waiting, uint32_t* status) {
    if (const int forced = Enter("SI_CheckRXQueue"); forced >= 0) return forced;
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    if (waiting == nullptr || status == nullptr) return kInvalidParameter;
    int count = 0;
    if (ioctl(device->fd, FIONREAD, &count) != 0) return kDeviceIoFailed;
    *waiting = count > 0 ? static_cast<uint32_t>(count) : 0;
    *status = *waiting > 0 ? 0x02 : 0x00;  // ready, or empty
    return kSuccess;
}

int SI_SetBaudRate(void* handle, uint32_t baudRate) {
    if (const int forced = Enter("SI_SetBaudRate"); forced >= 0) return forced;
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    if (baudRate == 0 || baudRate > 3000000) return kInvalidBaudRate;
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.recorded[device->index].baudRate = baudRate;
    return kSuccess;
}

int SI_SetLineControl(void* handle, uint16_t lineControl) {
    if (const int forced = Enter("SI_SetLineControl"); forced >= 0) return forced;
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.recorded[device->index].lineControl = lineControl;
    return kSuccess;
}

int SI_SetFlowControl(void* handle, uint8_t cts, uint8_t rts, uint8_t dtr, uint8_t dsr, uint8_t dcd, int xonxoff) {
    if (const int forced = Enter("SI_SetFlowControl"); forced >= 0) return forced;
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    const uint64_t packed = (uint64_t{cts} << 40) | (uint64_t{rts} << 32) | (uint64_t{dtr} << 24) |
                            (uint64_t{dsr} << 16) | (uint64_t{dcd} << 8) | static_cast<uint8_t>(xonxoff);
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.recorded[device->index].flowControl = packed;
    return kSuccess;
}

void UsbStub_Reset() {
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.forced.clear();
    s.calls.clear();
    s.recorded.clear();
    s.readTimeout = 1000;
    s.writeTimeout = 1000;
}

void UsbStub_ForceStatus(const char* function, int status) {
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (status < 0) {
        s.forced.erase(function);
    } else {
        s.forced[function] = status;
    }
}

uint32_t UsbStub_CallCount(const char* function) {
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto it = s.calls.find(function);
    return it == s.calls.end() ? 0 : it->second;
}

uint32_t UsbStub_BaudRate(uint32_t device) {
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto it = s.recorded.find(device);
    return it == s.recorded.end() ? 0 : it->second.baudRate;
}

uint32_t UsbStub_LineControl(uint32_t device) {
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto it = s.recorded.find(device);
    return it == s.recorded.end() ? 0 : it->second.lineControl;
}

uint64_t UsbStub_FlowControl(uint32_t device) {
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto it = s.recorded.find(device);
    return it == s.recorded.end() ? kNoFlowControl : it->second.flowControl;
}

uint32_t UsbStub_OpenCount() {
    State& s = Stub();
    std::lock_guard<std::mutex> lock(s.mutex);
    return static_cast<uint32_t>(s.open.size());
}

}  // extern "C"

#include "comm/usb_port.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <thread>

#include "comm/usb_bridge_codes.h"
#include "platform/dynamic_library.h"

namespace tallyx {

namespace {

template <typename Fn>
void Bind(void* module, const char* name, Fn* target) {
    *target = reinterpret_cast<Fn>(DynamicLibrarySymbol(module, name));
}

// The device number of "USBX<n>", read like atol (leading blanks, an optional
// sign, digits up to the first other character): n - 1, or kNoDevice when n
// is missing, not positive or beyond any device count.
uint32_t DeviceNumberOf(const char* digits) {
    while (*digits == ' ' || (*digits >= '\t' && *digits <= '\r')) ++digits;
    bool negative = false;
    if (*digits == '+' || *digits == '-') negative = (*digits++ == '-');
    uint64_t value = 0;
    for (; *digits >= '0' && *digits <= '9'; ++digits) {
        value = value * 10 + static_cast<uint64_t>(*digits - '0');
        if (value > UINT32_MAX) return UsbPort::kNoDevice;
    }
    if (negative || value == 0) return UsbPort::kNoDevice;
    return static_cast<uint32_t>(value - 1);
}

}  // namespace

UsbPort::UsbPort(const char* libraryName) {
    module = LoadDynamicLibrary(libraryName);
    if (module == nullptr) return;
    Bind(module, "SI_GetNumDevices", &siGetNumDevices);
    Bind(module, "SI_GetProductString", &siGetProductString);
    Bind(module, "SI_Open", &siOpen);
    Bind(module, "SI_Close", &siClose);
    Bind(module, "SI_Read", &siRead);
    Bind(module, "SI_Write", &siWrite);
    Bind(module, "SI_FlushBuffers", &siFlushBuffers);
    Bind(module, "SI_SetTimeouts", &siSetTimeouts);
    Bind(module, "SI_GetTimeouts", &siGetTimeouts);
    Bind(module, "SI_CheckRXQueue", &siCheckRXQueue);
    Bind(module, "SI_SetBaudRate", &siSetBaudRate);
    Bind(module, "SI_SetLineControl", &siSetLineControl);
    Bind(module, "SI_SetFlowControl", &siSetFlowControl);
}

UsbPort::~UsbPort() {
    // A device still open would keep a handle into a library about to be
    // unloaded: close it first.
    UsbPort::Close();
    if (module != nullptr) {
        FreeDynamicLibrary(module);
        module = nullptr;
        siGetNumDevices = nullptr;
        siGetProductString = nullptr;
        siOpen = nullptr;
        siClose = nullptr;
        siRead = nullptr;
        siWrite = nullptr;
        siFlushBuffers = nullptr;
        siSetTimeouts = nullptr;
        siGetTimeouts = nullptr;
        siCheckRXQueue = nullptr;
        siSetBaudRate = nullptr;
        siSetLineControl = nullptr;
        siSetFlowControl = nullptr;
    }
}

bool UsbPort::IsReady() const {
    return module != nullptr && siGetNumDevices != nullptr && siGetProductString != nullptr && siOpen != nullptr &&
           siClose != nullptr && siRead != nullptr && siWrite != nullptr && siFlushBuffers != nullptr &&
           siSetTimeouts != nullptr && siGetTimeouts != nullptr && siCheckRXQueue != nullptr &&
           siSetBaudRate != nullptr && siSetLineControl != nullptr && siSetFlowControl != nullptr;
}

uint32_t UsbPort::CheckUsable() {
    if (deviceHandle == nullptr) return kErrorInvalidHandle;
    if (!IsReady()) return kErrorDllInitFailed;
    return kErrorSuccess;
}

uint32_t UsbPort::SelectDevice(const char* name, uint32_t* device) {
    if (!IsReady()) return kErrorDllInitFailed;
    if (name == nullptr || strncasecmp(name, "USBX", 4) != 0) return kErrorInvalidParameter;
    const uint32_t number = DeviceNumberOf(name + 4);

    uint32_t count = 0;
    if (const uint32_t code = UsbStatusToWin32(siGetNumDevices(&count)); code != kErrorSuccess) return code;
    if (number >= count) return kErrorInvalidParameter;

    // Only the status matters: it proves the device number valid.
    char product[256] = {};
    if (const uint32_t code = UsbStatusToWin32(siGetProductString(number, product, 0)); code != kErrorSuccess) {
        return code;
    }
    *device = number;
    return kErrorSuccess;
}

uint32_t UsbPort::Open(const char* name, uint32_t /*inQueue*/, uint32_t /*outQueue*/, bool /*overlapped*/) {
    lastError = 0;
    if (IsOpen()) return Result(kErrorAlreadyInitialized);
    if (!IsReady()) return Result(kErrorDllInitFailed);
    uint32_t device = kNoDevice;
    if (const uint32_t code = SelectDevice(name, &device); code != kErrorSuccess) return Result(code);

    void* opened = nullptr;
    if (const uint32_t code = UsbStatusToWin32(siOpen(device, &opened)); code != kErrorSuccess) return Result(code);
    // Without a handle the port could not tell that it is open.
    if (opened == nullptr) return Result(kErrorGenFailure);

    deviceHandle = opened;
    deviceIndex = device;
    std::snprintf(portName, sizeof portName, "%s", name);
    SetEventMask(kDefaultEventMask);
    lastError = 0;
    return kErrorSuccess;
}

uint32_t UsbPort::Close() {
    lastError = 0;
    if (!IsOpen()) return kErrorSuccess;
    if (!IsReady()) return Result(kErrorDllInitFailed);
    siClose(deviceHandle);  // nothing can be done about a failure here
    deviceHandle = nullptr;
    deviceIndex = kNoDevice;
    portName[0] = '\0';
    return lastError;
}

uint32_t UsbPort::Configure(uint32_t baudRate, uint8_t dataBits, int32_t parity, uint8_t stopBits) {
    lastError = 0;
    if (const uint32_t code = CheckUsable(); code != kErrorSuccess) return Result(code);
    // Values the settings could not name (-1 among them) are refused before
    // the device is touched; they would not fit their fields of the word.
    const uint8_t parityCode = static_cast<uint8_t>(parity);
    if (baudRate == 0 || baudRate == 0xFFFFFFFFu || dataBits < 5 || dataBits > 8 || parityCode > 4 || stopBits > 2) {
        return Result(kErrorInvalidParameter);
    }
    if (const uint32_t code = UsbStatusToWin32(siSetBaudRate(deviceHandle, baudRate)); code != kErrorSuccess) {
        return Result(code);
    }
    const uint16_t word = UsbLineControlWord(dataBits, parityCode, stopBits);
    return Result(UsbStatusToWin32(siSetLineControl(deviceHandle, word)));
}

uint32_t UsbPort::SetEventMask(uint32_t mask) {
    lastError = 0;
    eventMask = mask;
    return kErrorSuccess;
}

uint32_t UsbPort::WaitForEvent(void* /*overlapped*/, uint32_t timeoutMs) {
    lastError = 0;
    if (const uint32_t code = CheckUsable(); code != kErrorSuccess) return Result(code);

    uint32_t waiting = 0;
    uint32_t remaining = timeoutMs;
    while (remaining > 0) {
        uint32_t queueStatus = 0;
        if (const uint32_t code = UsbStatusToWin32(siCheckRXQueue(deviceHandle, &waiting, &queueStatus));
            code != kErrorSuccess) {
            return Result(code);
        }
        if (waiting > 0) {
            lastEvents = kEventRxChar;
            break;
        }
        const uint32_t step = remaining < kWaitStepMs ? remaining : kWaitStepMs;
        std::this_thread::sleep_for(std::chrono::milliseconds(step));
        if (timeoutMs != kInfinite) remaining -= step;
    }
    if (waiting == 0) return Result(kErrorTimeout);
    return kErrorSuccess;
}

uint32_t UsbPort::TakeLineErrors() {
    lastError = 0;
    return 0;
}

uint32_t UsbPort::SetHandshaking(int32_t mode) {
    lastError = 0;
    if (const uint32_t code = CheckUsable(); code != kErrorSuccess) return Result(code);
    if (mode != 0) return Result(kErrorInvalidArg);
    // CTS, DSR and DCD take no part; RTS and DTR held active; no XON/XOFF.
    return Result(UsbStatusToWin32(siSetFlowControl(deviceHandle, 0, 1, 1, 0, 0, 0)));
}

uint32_t UsbPort::SetReadMode(int32_t /*mode*/) {
    // Each Read sets its own time-out, so there is nothing to change.
    lastError = 0;
    return Result(CheckUsable());
}

uint32_t UsbPort::SetTimeout(bool reading, uint32_t timeoutMs) {
    uint32_t readTimeout = 0;
    uint32_t writeTimeout = 0;
    if (const uint32_t code = UsbStatusToWin32(siGetTimeouts(&readTimeout, &writeTimeout)); code != kErrorSuccess) {
        return code;
    }
    (reading ? readTimeout : writeTimeout) = timeoutMs;
    return UsbStatusToWin32(siSetTimeouts(readTimeout, writeTimeout));
}

uint32_t UsbPort::Write(const void* data, uint32_t size, uint32_t* written, void* /*overlapped*/, uint32_t timeoutMs) {
    lastError = 0;
    if (written != nullptr) *written = 0;
    if (const uint32_t code = CheckUsable(); code != kErrorSuccess) return Result(code);
    if (data == nullptr && size != 0) return Result(kErrorInvalidParameter);

    if (const uint32_t code = SetTimeout(false, timeoutMs); code != kErrorSuccess) return Result(code);
    uint32_t count = 0;
    const uint32_t code = UsbStatusToWin32(siWrite(deviceHandle, const_cast<void*>(data), size, &count, nullptr));
    if (code == kErrorSuccess && written != nullptr) *written = count < size ? count : size;
    return Result(code);
}

uint32_t UsbPort::Read(void* buffer, uint32_t size, uint32_t* received, void* /*overlapped*/, uint32_t timeoutMs) {
    lastError = 0;
    uint32_t ignored = 0;
    uint32_t& countOut = received != nullptr ? *received : ignored;
    countOut = 0;
    if (const uint32_t code = CheckUsable(); code != kErrorSuccess) return Result(code);
    if (buffer == nullptr && size != 0) return Result(kErrorInvalidParameter);

    if (const uint32_t code = SetTimeout(true, timeoutMs); code != kErrorSuccess) return Result(code);
    uint32_t count = 0;
    const uint32_t code = UsbStatusToWin32(siRead(deviceHandle, buffer, size, &count, nullptr));
    // Bytes handed over together with a time-out are kept as well: the
    // transfer layer takes a time-out as "what has arrived so far".
    if (code == kErrorSuccess || code == kErrorTimeout) countOut = count < size ? count : size;
    return Result(code);
}

uint32_t UsbPort::Purge() {
    lastError = 0;
    if (const uint32_t code = CheckUsable(); code != kErrorSuccess) return Result(code);
    uint32_t waiting = 0;
    uint32_t queueStatus = 0;
    if (const uint32_t code = UsbStatusToWin32(siCheckRXQueue(deviceHandle, &waiting, &queueStatus));
        code != kErrorSuccess) {
        return Result(code);
    }
    return Result(UsbStatusToWin32(siFlushBuffers(deviceHandle, 1, 1)));
}

bool UsbPort::IsOpen() { return deviceHandle != nullptr; }

}  // namespace tallyx

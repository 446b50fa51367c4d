// A stand-in for the USB bridge vendor's library on Windows, whose devices are COM ports (under
// Wine, the simulator's pseudo-terminals) named in TALLYX_USB_STUB_DEVICES, separated by ';'.
// It implements the thirteen functions the USB port uses, with the vendor's status values.
// Reads and writes are overlapped requests, each bounded by the library-wide time-outs.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "../../src/platform/usb_bridge_api.h"
#include "stub_shared.h"

// Exported by their plain names; on 32-bit x86 the link drops the __stdcall decoration.
#define STUB_EXPORT extern "C" __declspec(dllexport)

namespace {

using namespace tallyx::usbstub;

struct Device {
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE io = nullptr;  // manual-reset event of the overlapped requests
};

std::mutex openMutex;
std::set<Device*> openDevices;
// The vendor's time-outs belong to the library, not to a device.
std::atomic<uint32_t> readTimeout{1000};
std::atomic<uint32_t> writeTimeout{1000};

std::vector<std::string> DeviceNames() { return DeviceList(';'); }

Device* Lookup(void* handle) {
    std::lock_guard<std::mutex> lock(openMutex);
    auto* device = static_cast<Device*>(handle);
    return openDevices.count(device) != 0 ? device : nullptr;
}

// One overlapped ReadFile or WriteFile, awaited for up to waitMs. A request still pending then
// is cancelled and its end awaited, so that nothing reaches the caller's buffer afterwards;
// *done holds what it moved. Returns 0, ERROR_TIMEOUT or the request's error.
template <typename Call>
DWORD Transfer(Device* device, DWORD waitMs, DWORD* done, Call call) {
    OVERLAPPED request{};
    request.hEvent = device->io;
    ResetEvent(device->io);
    *done = 0;
    if (!call(&request)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) return error;
    }
    if (WaitForSingleObject(device->io, waitMs) != WAIT_OBJECT_0) {
        CancelIo(device->port);
        // A request that completed just before the cancel still counts.
        return GetOverlappedResult(device->port, &request, done, TRUE) ? ERROR_SUCCESS : ERROR_TIMEOUT;
    }
    return GetOverlappedResult(device->port, &request, done, FALSE) ? ERROR_SUCCESS : GetLastError();
}

// Bytes waiting in the receive queue, or false when the device cannot tell (it is gone).
bool Waiting(Device* device, DWORD* count) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(device->port, &errors, &status)) return false;
    *count = status.cbInQue;
    return true;
}

// Changes the device's DCB. A line without modem-control lines (a pseudo-terminal under Wine)
// refuses DTR and RTS with ERROR_NOT_SUPPORTED after taking the rest of the settings; nothing
// here depends on those lines, so that is no failure.
template <typename Change>
int UpdateLine(Device* device, Change change) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(device->port, &dcb)) return kDeviceIoFailed;
    change(dcb);
    if (SetCommState(device->port, &dcb)) return kSuccess;
    const DWORD error = GetLastError();
    if (error == ERROR_NOT_SUPPORTED) return kSuccess;
    return error == ERROR_INVALID_PARAMETER ? kInvalidParameter : kDeviceIoFailed;
}

}  // namespace

STUB_EXPORT int TALLYX_SI_CALL SI_GetNumDevices(uint32_t* numDevices) {
    if (numDevices == nullptr) return kInvalidParameter;
    *numDevices = static_cast<uint32_t>(DeviceNames().size());
    return kSuccess;
}

STUB_EXPORT int TALLYX_SI_CALL SI_GetProductString(uint32_t device, void* text, uint32_t flags) {
    if (text == nullptr || flags > 4) return kInvalidParameter;
    if (device >= DeviceNames().size()) return kDeviceNotFound;
    std::snprintf(static_cast<char*>(text), 256, "Stand-in USB bridge %u", static_cast<unsigned>(device + 1));
    return kSuccess;
}

STUB_EXPORT int TALLYX_SI_CALL SI_Open(uint32_t device, void** handle) {
    if (handle == nullptr) return kInvalidParameter;
    *handle = nullptr;
    const std::vector<std::string> names = DeviceNames();
    if (device >= names.size()) return kDeviceNotFound;
    const std::string path = "\\\\.\\" + names[device];
    const HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) return kDeviceNotFound;
    const HANDLE io = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // No time-outs of the port's own: a read waits for every byte it asks for and a write for
    // all of its bytes; the overlapped waits bound both.
    COMMTIMEOUTS timeouts{};
    if (io == nullptr || !SetCommTimeouts(port, &timeouts)) {
        if (io != nullptr) CloseHandle(io);
        CloseHandle(port);
        return kDeviceIoFailed;
    }
    // The bridge starts with empty queues.
    PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR);
    auto* opened = new Device{port, io};
    std::lock_guard<std::mutex> lock(openMutex);
    openDevices.insert(opened);
    *handle = opened;
    return kSuccess;
}

STUB_EXPORT int TALLYX_SI_CALL SI_Close(void* handle) {
    std::lock_guard<std::mutex> lock(openMutex);
    auto* device = static_cast<Device*>(handle);
    if (openDevices.erase(device) == 0) return kInvalidHandle;
    CloseHandle(device->port);
    CloseHandle(device->io);
    delete device;
    return kSuccess;
}

// Hands over at once what has arrived (at most size bytes); with nothing there, waits up to the
// read time-out for a first byte and takes what came with it.
STUB_EXPORT int TALLYX_SI_CALL SI_Read(void* handle, void* buf, uint32_t size, uint32_t* got, void* overlapped) {
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    if (buf == nullptr || got == nullptr || overlapped != nullptr || size == 0) return kInvalidParameter;
    *got = 0;
    auto* bytes = static_cast<char*>(buf);
    DWORD waiting = 0;
    if (!Waiting(device, &waiting)) return kDeviceIoFailed;
    if (waiting == 0) {
        DWORD done = 0;
        const DWORD code = Transfer(device, readTimeout.load(), &done,
                                    [&](OVERLAPPED* request) { return ReadFile(device->port, bytes, 1, nullptr, request); });
        if (code == ERROR_TIMEOUT) return kReadTimedOut;
        // A line that has gone away reads as an error or as an end of file.
        if (code != ERROR_SUCCESS || done == 0) return kDeviceIoFailed;
        *got = 1;
        if (!Waiting(device, &waiting)) return kSuccess;
    }
    if (waiting > size - *got) waiting = size - *got;
    if (waiting == 0) return kSuccess;
    DWORD done = 0;
    const DWORD code = Transfer(device, readTimeout.load(), &done, [&](OVERLAPPED* request) {
        return ReadFile(device->port, bytes + *got, waiting, nullptr, request);
    });
    *got += done;
    if (*got > 0) return kSuccess;
    return code == ERROR_TIMEOUT ? kReadTimedOut : kReadError;
}

STUB_EXPORT int TALLYX_SI_CALL SI_Write(void* handle, void* buf, uint32_t size, uint32_t* put, void* overlapped) {
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    if (buf == nullptr || put == nullptr || overlapped != nullptr) return kInvalidParameter;
    *put = 0;
    if (size == 0) return kSuccess;
    DWORD done = 0;
    const DWORD code = Transfer(device, writeTimeout.load(), &done,
                                [&](OVERLAPPED* request) { return WriteFile(device->port, buf, size, nullptr, request); });
    *put = done;
    if (code == ERROR_TIMEOUT) return kWriteTimedOut;
    return code == ERROR_SUCCESS && done == size ? kSuccess : kWriteError;
}

STUB_EXPORT int TALLYX_SI_CALL SI_FlushBuffers(void* handle, uint8_t tx, uint8_t rx) {
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    const DWORD flags = (tx != 0 ? PURGE_TXCLEAR : 0) | (rx != 0 ? PURGE_RXCLEAR : 0);
    if (flags != 0 && !PurgeComm(device->port, flags)) return kDeviceIoFailed;
    return kSuccess;
}

STUB_EXPORT int TALLYX_SI_CALL SI_SetTimeouts(uint32_t read, uint32_t write) {
    readTimeout = read;
    writeTimeout = write;
    return kSuccess;
}

STUB_EXPORT int TALLYX_SI_CALL SI_GetTimeouts(uint32_t* read, uint32_t* write) {
    if (read == nullptr || write == nullptr) return kInvalidParameter;
    *read = readTimeout.load();
    *write = writeTimeout.load();
    return kSuccess;
}

STUB_EXPORT int TALLYX_SI_CALL SI_CheckRXQueue(void* handle, uint32_t* waiting, uint32_t* status) {
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    if (waiting == nullptr || status == nullptr) return kInvalidParameter;
    DWORD count = 0;
    if (!Waiting(device, &count)) return kDeviceIoFailed;
    *waiting = count;
    *status = count > 0 ? 0x02 : 0x00;  // ready, or empty
    return kSuccess;
}

STUB_EXPORT int TALLYX_SI_CALL SI_SetBaudRate(void* handle, uint32_t baudRate) {
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    if (baudRate == 0 || baudRate > 3000000) return kInvalidBaudRate;
    return UpdateLine(device, [&](DCB& dcb) { dcb.BaudRate = baudRate; });
}

// The word carries the data bits in bits 8 to 15, the parity code in bits 4 to 7 and the
// stop-bit code in bits 0 to 3, with the DCB's own codes for parity and stop bits.
STUB_EXPORT int TALLYX_SI_CALL SI_SetLineControl(void* handle, uint16_t lineControl) {
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    const unsigned dataBits = lineControl >> 8;
    const unsigned parity = (lineControl >> 4) & 0x0F;
    const unsigned stopBits = lineControl & 0x0F;
    if (dataBits < 5 || dataBits > 8 || parity > SPACEPARITY || stopBits > TWOSTOPBITS) return kInvalidParameter;
    return UpdateLine(device, [&](DCB& dcb) {
        dcb.ByteSize = static_cast<BYTE>(dataBits);
        dcb.Parity = static_cast<BYTE>(parity);
        dcb.fParity = parity != NOPARITY;
        dcb.StopBits = static_cast<BYTE>(stopBits);
    });
}

// CTS and DSR: 0 a status input, 1 a handshake line. RTS and DTR: 0 held inactive, 1 held
// active, 2 a handshake line. The DCB has no setting for DCD, which is only ever a status input.
STUB_EXPORT int TALLYX_SI_CALL SI_SetFlowControl(void* handle, uint8_t cts, uint8_t rts, uint8_t dtr, uint8_t dsr,
                                                 uint8_t /*dcd*/, int xonxoff) {
    Device* device = Lookup(handle);
    if (device == nullptr) return kInvalidHandle;
    if (cts > 1 || dsr > 1 || rts > 2 || dtr > 2) return kInvalidParameter;
    static constexpr DWORD kRts[] = {RTS_CONTROL_DISABLE, RTS_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE};
    static constexpr DWORD kDtr[] = {DTR_CONTROL_DISABLE, DTR_CONTROL_ENABLE, DTR_CONTROL_HANDSHAKE};
    return UpdateLine(device, [&](DCB& dcb) {
        dcb.fOutxCtsFlow = cts;
        dcb.fOutxDsrFlow = dsr;
        dcb.fRtsControl = kRts[rts];
        dcb.fDtrControl = kDtr[dtr];
        dcb.fOutX = xonxoff != 0;
        dcb.fInX = xonxoff != 0;
    });
}

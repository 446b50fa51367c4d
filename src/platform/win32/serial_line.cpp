// Serial ports through the Win32 communications functions, in overlapped mode, every blocking
// step bounded by its time-out: CreateFileA on "\\.\COM<n>", the DCB, COMMTIMEOUTS, the event
// mask, overlapped ReadFile, WriteFile and WaitCommEvent, PurgeComm and ClearCommError.
#include "platform/serial_line.h"

#include <windows.h>

#include <string>

#include "platform/win32_error.h"

namespace tallyx {

struct SerialLine {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE ioEvent = nullptr;  // manual-reset event of the overlapped requests; null without
    bool overlapped = false;
    // Where WaitCommEvent writes the event bits. It lives as long as the line, since a cancelled
    // request may still complete into it.
    DWORD waitEvents = 0;
    // Line errors that ClearCommError reported while the queue was looked at, kept for the
    // caller's next TakeSerialLineErrors.
    DWORD heldErrors = 0;
};

namespace {

uint32_t LastError() { return static_cast<uint32_t>(GetLastError()); }

uint32_t ReadDcb(SerialLine* line, DCB* dcb) {
    ZeroMemory(dcb, sizeof *dcb);
    dcb->DCBlength = sizeof *dcb;
    return GetCommState(line->handle, dcb) ? kErrorSuccess : LastError();
}

uint32_t WriteDcb(SerialLine* line, DCB* dcb) { return SetCommState(line->handle, dcb) ? kErrorSuccess : LastError(); }

// Milliseconds left until the deadline; INFINITE stays INFINITE.
class Deadline {
public:
    explicit Deadline(uint32_t timeoutMs) : infinite_(timeoutMs == kInfinite), end_(GetTickCount64() + timeoutMs) {}
    DWORD Left() const {
        if (infinite_) return INFINITE;
        const ULONGLONG now = GetTickCount64();
        return now >= end_ ? 0 : static_cast<DWORD>(end_ - now);
    }

private:
    bool infinite_;
    ULONGLONG end_;
};

// Bytes waiting in the driver's receive queue. ClearCommError also clears the line's errors;
// they are held for TakeSerialLineErrors.
DWORD QueuedBytes(SerialLine* line) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(line->handle, &errors, &status)) return 0;
    line->heldErrors |= errors;
    return status.cbInQue;
}

// Waits for a pending request on the line's event. On a time-out the request is cancelled and
// its end awaited, so that nothing completes into the caller's memory afterwards; *count then
// holds what was transferred before the cancel. Returns 0, 1460 or the error of the request.
uint32_t FinishPending(SerialLine* line, OVERLAPPED* request, DWORD waitMs, DWORD* count) {
    const DWORD waited = WaitForSingleObject(line->ioEvent, waitMs);
    if (waited == WAIT_TIMEOUT) {
        CancelIo(line->handle);
        GetOverlappedResult(line->handle, request, count, TRUE);
        return kErrorTimeout;
    }
    if (waited != WAIT_OBJECT_0) {
        const uint32_t error = LastError();
        CancelIo(line->handle);
        GetOverlappedResult(line->handle, request, count, TRUE);
        return error;
    }
    return GetOverlappedResult(line->handle, request, count, FALSE) ? kErrorSuccess : LastError();
}

// One ReadFile or WriteFile, overlapped when the line is, bounded by timeoutMs.
template <typename Call>
uint32_t Transfer(SerialLine* line, uint32_t timeoutMs, uint32_t* count, Call call) {
    *count = 0;
    DWORD done = 0;
    if (!line->overlapped) {
        if (!call(&done, nullptr)) return LastError();
        *count = done;
        return kErrorSuccess;
    }
    OVERLAPPED request{};
    request.hEvent = line->ioEvent;
    ResetEvent(line->ioEvent);
    uint32_t code = kErrorSuccess;
    if (call(nullptr, &request)) {
        code = GetOverlappedResult(line->handle, &request, &done, FALSE) ? kErrorSuccess : LastError();
    } else if (GetLastError() != ERROR_IO_PENDING) {
        return LastError();
    } else {
        code = FinishPending(line, &request, timeoutMs, &done);
    }
    *count = done;
    return code;
}

}  // namespace

uint32_t OpenSerialLine(const char* name, bool overlapped, SerialLine** line) {
    *line = nullptr;
    // The device path reaches ports above COM9 as well.
    const std::string path = std::string("\\\\.\\") + name;
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    // An opening starts with empty queues, as a COM port driver gives them; a port emulated on
    // another kind of device (Wine's on a terminal) would otherwise keep what arrived before.
    // Purged at once: what the counter sends after the opening (its wake-up line) must stay,
    // however long the configuration below takes.
    PurgeComm(handle, PURGE_TXCLEAR | PURGE_RXCLEAR);
    auto* opened = new SerialLine;
    opened->handle = handle;
    opened->overlapped = overlapped;
    if (overlapped) {
        opened->ioEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (opened->ioEvent == nullptr) {
            const uint32_t error = LastError();
            CloseHandle(handle);
            delete opened;
            return error;
        }
    }
    // The system's default configuration of the port; a port without one keeps what it has.
    COMMCONFIG config{};
    DWORD size = sizeof config;
    config.dwSize = sizeof config;
    if (GetDefaultCommConfigA(name, &config, &size)) SetCommConfig(handle, &config, size);
    *line = opened;
    return kErrorSuccess;
}

void CloseSerialLine(SerialLine* line) {
    if (line == nullptr) return;
    if (line->ioEvent != nullptr) CloseHandle(line->ioEvent);
    CloseHandle(line->handle);
    delete line;
}

uint32_t ReadSerialLineSettings(SerialLine* line, LineSettings* settings) {
    DCB dcb;
    if (const uint32_t code = ReadDcb(line, &dcb); code != kErrorSuccess) return code;
    settings->baudRate = dcb.BaudRate;
    settings->dataBits = dcb.ByteSize;
    // Without parity checking the parity member says nothing.
    settings->parity = dcb.fParity ? dcb.Parity : static_cast<BYTE>(kParityNone);
    settings->stopBits = dcb.StopBits;
    return kErrorSuccess;
}

uint32_t WriteSerialLineSettings(SerialLine* line, const LineSettings& settings) {
    DCB dcb;
    if (const uint32_t code = ReadDcb(line, &dcb); code != kErrorSuccess) return code;
    dcb.BaudRate = settings.baudRate;
    dcb.ByteSize = settings.dataBits;
    dcb.Parity = settings.parity;
    dcb.StopBits = settings.stopBits;
    dcb.fParity = settings.parity != kParityNone;
    dcb.fNull = FALSE;  // null bytes are data
    return WriteDcb(line, &dcb);
}

uint32_t SetSerialLineFlowControl(SerialLine* line, int32_t mode) {
    // Per mode: the CTS and DSR handshake, XON/XOFF both ways, the DTR and RTS lines.
    struct Flow {
        int32_t mode;
        BOOL lineHandshake;
        BOOL xonXoff;
        DWORD dtr;
        DWORD rts;
    };
    static constexpr Flow kFlows[] = {
        {kFlowNone, FALSE, FALSE, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE},
        {kFlowHardware, TRUE, FALSE, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE},
        {kFlowSoftware, FALSE, TRUE, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE},
    };
    DCB dcb;
    if (const uint32_t code = ReadDcb(line, &dcb); code != kErrorSuccess) return code;
    const Flow* flow = nullptr;
    for (const Flow& candidate : kFlows) {
        if (candidate.mode == mode) flow = &candidate;
    }
    if (flow == nullptr) return kErrorInvalidArg;
    dcb.fOutxCtsFlow = flow->lineHandshake;
    dcb.fOutxDsrFlow = flow->lineHandshake;
    dcb.fOutX = flow->xonXoff;
    dcb.fInX = flow->xonXoff;
    dcb.fDtrControl = flow->dtr;
    dcb.fRtsControl = flow->rts;
    const uint32_t code = WriteDcb(line, &dcb);
    // A device without modem lines (a pseudo-terminal under Wine) cannot raise DTR and RTS;
    // with handshaking off nothing depends on them.
    if (code == kErrorNotSupported && mode == kFlowNone) return kErrorSuccess;
    return code;
}

uint32_t GetSerialLineFlowControl(SerialLine* line, int32_t* mode) {
    DCB dcb;
    if (const uint32_t code = ReadDcb(line, &dcb); code != kErrorSuccess) return code;
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE && dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        *mode = kFlowHardware;
    } else if (dcb.fOutX && dcb.fInX) {
        *mode = kFlowSoftware;
    } else {
        *mode = kFlowNone;
    }
    return kErrorSuccess;
}

uint32_t SetSerialLineReadMode(SerialLine* line, bool blocking) {
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(line->handle, &timeouts)) return LastError();
    // Non-blocking: a read returns at once with what the driver holds. Blocking: it waits for
    // everything asked for; the overlapped wait bounds it.
    timeouts.ReadIntervalTimeout = blocking ? 0 : MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    return SetCommTimeouts(line->handle, &timeouts) ? kErrorSuccess : LastError();
}

uint32_t SetSerialLineEventChar(SerialLine* line, char ch) {
    DCB dcb;
    if (const uint32_t code = ReadDcb(line, &dcb); code != kErrorSuccess) return code;
    dcb.EvtChar = ch;
    return WriteDcb(line, &dcb);
}

uint32_t SetSerialLineEventMask(SerialLine* line, uint32_t mask) {
    return SetCommMask(line->handle, mask) ? kErrorSuccess : LastError();
}

uint32_t WaitSerialLineEvents(SerialLine* line, uint32_t mask, uint32_t timeoutMs, uint32_t* events) {
    *events = 0;
    if (!line->overlapped) {
        DWORD found = 0;
        if (!WaitCommEvent(line->handle, &found, nullptr)) return LastError();
        *events = found & mask;
        return kErrorSuccess;
    }
    const Deadline deadline(timeoutMs);
    for (;;) {
        OVERLAPPED request{};
        request.hEvent = line->ioEvent;
        ResetEvent(line->ioEvent);
        line->waitEvents = 0;
        DWORD ignored = 0;
        uint32_t code = kErrorSuccess;
        if (!WaitCommEvent(line->handle, &line->waitEvents, &request)) {
            if (GetLastError() != ERROR_IO_PENDING) return LastError();
            // A driver that reports EV_RXCHAR only for bytes arriving after the wait began (Wine
            // does) would let bytes that came between the caller's last read and this wait sit
            // unnoticed until the time-out. Once the wait is pending, any byte in the queue is
            // reported at once; a byte arriving later ends the wait by itself.
            if ((mask & EV_RXCHAR) != 0 && QueuedBytes(line) > 0) {
                CancelIo(line->handle);
                GetOverlappedResult(line->handle, &request, &ignored, TRUE);
                *events = EV_RXCHAR | (line->waitEvents & mask);
                return kErrorSuccess;
            }
            code = FinishPending(line, &request, deadline.Left(), &ignored);
        }
        const uint32_t found = line->waitEvents & mask;
        if (code == kErrorSuccess && found != 0) {
            *events = found;
            return kErrorSuccess;
        }
        // A wait that ends without an event of the mask, or is aborted by the driver (Wine ends
        // it every few milliseconds on a line without modem status, with 995), is waited again
        // within the same time-out; each round blocks in the driver, so this never spins.
        if (code != kErrorSuccess && code != ERROR_OPERATION_ABORTED) return code;
        if (deadline.Left() == 0) return kErrorTimeout;
    }
}

uint32_t ReadSerialLine(SerialLine* line, void* buffer, uint32_t size, uint32_t* count, uint32_t timeoutMs) {
    return Transfer(line, timeoutMs, count, [&](DWORD* done, OVERLAPPED* request) {
        return ReadFile(line->handle, buffer, size, done, request) != FALSE;
    });
}

uint32_t WriteSerialLine(SerialLine* line, const void* data, uint32_t size, uint32_t* count, uint32_t timeoutMs) {
    return Transfer(line, timeoutMs, count, [&](DWORD* done, OVERLAPPED* request) {
        return WriteFile(line->handle, data, size, done, request) != FALSE;
    });
}

uint32_t PurgeSerialLine(SerialLine* line) {
    return PurgeComm(line->handle, PURGE_TXCLEAR | PURGE_RXCLEAR) ? kErrorSuccess : LastError();
}

uint32_t TakeSerialLineErrors(SerialLine* line) {
    DWORD errors = 0;
    if (!ClearCommError(line->handle, &errors, nullptr)) errors = 0;
    errors |= line->heldErrors;
    line->heldErrors = 0;
    return errors;
}

}  // namespace tallyx

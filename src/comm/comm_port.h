#pragma once
// The port interface: how the library reaches a counter, whether it hangs on a
// serial line or behind a USB bridge. Every operation that can fail returns a
// Windows error number (0 on success); the transfer layer turns them into the
// library's return codes and shows the numbers in its log.
//
// Time-outs are milliseconds, kInfinite meaning no limit. The "overlapped"
// arguments stand for an optional caller-owned asynchronous request record;
// the library always passes null. Counts are set to 0 first and then to what
// was transferred.
#include <cstdint>

#include "platform/win32_error.h"

namespace tallyx {

// Communication event bits.
constexpr uint32_t kEventRxChar = 0x0001;  // EV_RXCHAR: characters received
constexpr uint32_t kEventRxFlag = 0x0002;  // EV_RXFLAG: the event character received
constexpr uint32_t kEventBreak = 0x0040;   // EV_BREAK: a break on the line
constexpr uint32_t kEventError = 0x0080;   // EV_ERR: a line error, or the device is gone
// The events a port waits for after Open.
constexpr uint32_t kDefaultEventMask = kEventRxChar | kEventBreak | kEventError;

class CommPort {
public:
    virtual ~CommPort() = default;

    // Opens the port by its name (COM3, USBX1). Queue sizes of 0 leave the
    // device's own; the library always opens with 0, 0 and overlapped true.
    virtual uint32_t Open(const char* name, uint32_t inQueue, uint32_t outQueue, bool overlapped) = 0;
    virtual uint32_t Close() = 0;
    // parity: 0 none, 1 odd, 2 even, 3 mark, 4 space; stopBits: 0 one,
    // 1 one and a half, 2 two. An unknown value (-1 included) fails with 87.
    virtual uint32_t Configure(uint32_t baudRate, uint8_t dataBits, int32_t parity, uint8_t stopBits) = 0;
    virtual uint32_t SetEventChar(char ch, bool addToMask) = 0;
    virtual uint32_t SetEventMask(uint32_t mask) = 0;
    // Waits until an event of the mask happens; its bits go to TakeEvents().
    virtual uint32_t WaitForEvent(void* overlapped, uint32_t timeoutMs) = 0;
    // The events of the last wait that are in the mask; clears them.
    virtual uint32_t TakeEvents() = 0;
    // The line error bits (CE_) collected since the last call; clears them.
    virtual uint32_t TakeLineErrors() = 0;
    // 0 off (DTR and RTS held on), 1 hardware, 2 software.
    virtual uint32_t SetHandshaking(int32_t mode) = 0;
    // 0: reads return at once with what has arrived; 1: reads wait for all.
    virtual uint32_t SetReadMode(int32_t mode) = 0;
    virtual int32_t GetBaudRate() = 0;
    virtual int32_t GetDataBits() = 0;
    virtual int32_t GetParity() = 0;
    virtual int32_t GetStopBits() = 0;
    virtual int32_t GetHandshaking() = 0;
    virtual uint32_t GetEventMask() = 0;
    virtual char GetEventChar() = 0;
    virtual uint32_t WriteText(const char* text, uint32_t* written, void* overlapped, uint32_t timeoutMs) = 0;
    virtual uint32_t Write(const void* data, uint32_t size, uint32_t* written, void* overlapped, uint32_t timeoutMs) = 0;
    virtual uint32_t Read(void* buffer, uint32_t size, uint32_t* received, void* overlapped, uint32_t timeoutMs) = 0;
    // Discards what was received and not read and what was not yet sent.
    virtual uint32_t Purge() = 0;
    virtual bool IsOpen() = 0;
};

}  // namespace tallyx

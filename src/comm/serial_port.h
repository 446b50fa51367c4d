#pragma once
// A serial line (an RS-232 port or a USB-serial adapter the system shows as a
// serial device) behind the port interface. Every wait is bounded by the
// operation's time-out; UsbPort derives from this class and inherits the
// operations that work on the stored fields.
#include <cstdint>

#include "comm/comm_port.h"
#include "platform/serial_line.h"

namespace tallyx {

class SerialPort : public CommPort {
public:
    SerialPort() = default;
    ~SerialPort() override;

    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    uint32_t Open(const char* name, uint32_t inQueue, uint32_t outQueue, bool overlapped) override;
    uint32_t Close() override;
    uint32_t Configure(uint32_t baudRate, uint8_t dataBits, int32_t parity, uint8_t stopBits) override;
    uint32_t SetEventChar(char ch, bool addToMask) override;
    uint32_t SetEventMask(uint32_t mask) override;
    uint32_t WaitForEvent(void* overlapped, uint32_t timeoutMs) override;
    uint32_t TakeEvents() override;
    uint32_t TakeLineErrors() override;
    uint32_t SetHandshaking(int32_t mode) override;
    uint32_t SetReadMode(int32_t mode) override;
    int32_t GetBaudRate() override;
    int32_t GetDataBits() override;
    int32_t GetParity() override;
    int32_t GetStopBits() override;
    int32_t GetHandshaking() override;
    uint32_t GetEventMask() override;
    char GetEventChar() override;
    uint32_t WriteText(const char* text, uint32_t* written, void* overlapped, uint32_t timeoutMs) override;
    uint32_t Write(const void* data, uint32_t size, uint32_t* written, void* overlapped, uint32_t timeoutMs) override;
    uint32_t Read(void* buffer, uint32_t size, uint32_t* received, void* overlapped, uint32_t timeoutMs) override;
    uint32_t Purge() override;
    bool IsOpen() override;

    // The error number the last operation left (0 after a success).
    uint32_t LastError() const { return lastError; }

protected:
    // Records code as the operation's result and returns it.
    uint32_t Result(uint32_t code) {
        lastError = code;
        return code;
    }

    uint32_t lastError = 0;
    uint32_t lastEvents = 0;
    uint32_t eventMask = 0;

private:
    // Checks common to Read, Write and WaitForEvent: open, and on a port
    // opened without overlapped mode neither a request record nor a bounded
    // time-out. Returns 0 or the error number.
    uint32_t CheckRequest(const void* overlapped, uint32_t timeoutMs) const;
    // Reads the line settings into *value's field; -1 on failure.
    template <typename Field>
    int32_t GetLineSetting(Field field);

    SerialLine* line = nullptr;   // the open device; null when closed
    bool overlappedMode = false;  // opened for requests bounded by time-outs
    char eventChar = 0;
};

}  // namespace tallyx

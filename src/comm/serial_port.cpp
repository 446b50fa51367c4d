#include "comm/serial_port.h"

#include <cstring>

namespace tallyx {

SerialPort::~SerialPort() { SerialPort::Close(); }

uint32_t SerialPort::Open(const char* name, uint32_t /*inQueue*/, uint32_t /*outQueue*/, bool overlapped) {
    // The queue sizes are the driver's own; sizes of 0 are what the library
    // asks for anyway.
    lastError = 0;
    if (line != nullptr) return Result(kErrorAlreadyInitialized);
    if (name == nullptr) return Result(kErrorInvalidParameter);
    SerialLine* opened = nullptr;
    if (const uint32_t code = OpenSerialLine(name, overlapped, &opened); code != kErrorSuccess) return Result(code);
    line = opened;
    overlappedMode = overlapped;
    eventChar = 0;
    lastEvents = 0;
    SetEventMask(kDefaultEventMask);
    return SetReadMode(0);
}

uint32_t SerialPort::Close() {
    lastError = 0;
    if (line == nullptr) return kErrorSuccess;
    CloseSerialLine(line);
    line = nullptr;
    overlappedMode = false;
    return lastError;
}

uint32_t SerialPort::Configure(uint32_t baudRate, uint8_t dataBits, int32_t parity, uint8_t stopBits) {
    lastError = 0;
    if (line == nullptr) return Result(kErrorInvalidHandle);
    LineSettings settings;
    settings.baudRate = baudRate;
    settings.dataBits = dataBits;
    // The parity code travels as one byte: -1 becomes 255, which no parity is.
    settings.parity = static_cast<uint8_t>(parity);
    settings.stopBits = stopBits;
    return Result(WriteSerialLineSettings(line, settings));
}

uint32_t SerialPort::SetEventChar(char ch, bool addToMask) {
    lastError = 0;
    if (line == nullptr) return Result(kErrorInvalidHandle);
    if (const uint32_t code = SetSerialLineEventChar(line, ch); code != kErrorSuccess) return Result(code);
    eventChar = ch;
    if (addToMask) return SetEventMask(eventMask | kEventRxFlag);
    return kErrorSuccess;
}

uint32_t SerialPort::SetEventMask(uint32_t mask) {
    lastError = 0;
    if (line == nullptr) return Result(kErrorInvalidHandle);
    if (const uint32_t code = SetSerialLineEventMask(line, mask); code != kErrorSuccess) return Result(code);
    eventMask = mask;
    return kErrorSuccess;
}

uint32_t SerialPort::CheckRequest(const void* overlapped, uint32_t timeoutMs) const {
    if (line == nullptr) return kErrorInvalidHandle;
    if (!overlappedMode && (overlapped != nullptr || timeoutMs != kInfinite)) return kErrorInvalidFunction;
    return kErrorSuccess;
}

uint32_t SerialPort::WaitForEvent(void* overlapped, uint32_t timeoutMs) {
    // A caller's request record is not completed later: the wait is always
    // carried out here, bounded by timeoutMs.
    lastError = 0;
    if (const uint32_t code = CheckRequest(overlapped, timeoutMs); code != kErrorSuccess) return Result(code);
    if (eventMask == 0) return Result(kErrorInvalidParameter);
    uint32_t events = 0;
    if (const uint32_t code = WaitSerialLineEvents(line, eventMask, timeoutMs, &events); code != kErrorSuccess) {
        return Result(code);
    }
    lastEvents = events;
    return kErrorSuccess;
}

uint32_t SerialPort::TakeEvents() {
    lastError = 0;
    const uint32_t events = lastEvents & eventMask;
    lastEvents = 0;
    return events;
}

uint32_t SerialPort::TakeLineErrors() {
    lastError = 0;
    if (line == nullptr) {
        lastError = kErrorInvalidHandle;
        return 0;
    }
    return TakeSerialLineErrors(line);
}

uint32_t SerialPort::SetHandshaking(int32_t mode) {
    lastError = 0;
    if (line == nullptr) return Result(kErrorInvalidHandle);
    if (mode != kFlowNone && mode != kFlowHardware && mode != kFlowSoftware) return Result(kErrorInvalidArg);
    return Result(SetSerialLineFlowControl(line, mode));
}

uint32_t SerialPort::SetReadMode(int32_t mode) {
    lastError = 0;
    if (line == nullptr) return Result(kErrorInvalidHandle);
    if (mode != 0 && mode != 1) return Result(kErrorInvalidArg);
    return Result(SetSerialLineReadMode(line, mode == 1));
}

template <typename Field>
int32_t SerialPort::GetLineSetting(Field field) {
    lastError = 0;
    if (line == nullptr) {
        lastError = kErrorInvalidHandle;
        return -1;
    }
    LineSettings settings;
    if (const uint32_t code = ReadSerialLineSettings(line, &settings); code != kErrorSuccess) {
        lastError = code;
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
    if (line == nullptr) {
        lastError = kErrorInvalidHandle;
        return -1;
    }
    int32_t mode = 0;
    if (const uint32_t code = GetSerialLineFlowControl(line, &mode); code != kErrorSuccess) {
        lastError = code;
        return -1;
    }
    return mode;
}

uint32_t SerialPort::GetEventMask() {
    // Asked through IsOpen(), so that a derived port without a device
    // of its own reports its mask as well.
    lastError = 0;
    if (!IsOpen()) {
        lastError = kErrorInvalidHandle;
        return 0;
    }
    return eventMask;
}

char SerialPort::GetEventChar() {
    lastError = 0;
    if (line == nullptr) {
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
    return Result(WriteSerialLine(line, data, size, &count, timeoutMs));
}

uint32_t SerialPort::Read(void* buffer, uint32_t size, uint32_t* received, void* overlapped, uint32_t timeoutMs) {
    lastError = 0;
    uint32_t ignored = 0;
    uint32_t& count = received != nullptr ? *received : ignored;
    count = 0;
    if (const uint32_t code = CheckRequest(overlapped, timeoutMs); code != kErrorSuccess) return Result(code);
    if (size == 0) return kErrorSuccess;
    if (buffer == nullptr) return Result(kErrorInvalidParameter);
    return Result(ReadSerialLine(line, buffer, size, &count, timeoutMs));
}

uint32_t SerialPort::Purge() {
    lastError = 0;
    if (line == nullptr) return Result(kErrorInvalidHandle);
    return Result(PurgeSerialLine(line));
}

bool SerialPort::IsOpen() { return line != nullptr; }

}  // namespace tallyx

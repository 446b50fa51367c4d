#pragma once
// A counter behind the USB bridge, reached through the bridge vendor's
// run-time library, loaded when the port is created. The port is named
// "USBX<n>": the n-th (from 1) bridge device attached. The bridge library has
// no event wait, so WaitForEvent polls its receive queue in steps of 100 ms.
#include <cstdint>

#include "comm/serial_port.h"
#include "platform/usb_bridge_api.h"

namespace tallyx {

class UsbPort : public SerialPort {
public:
    // The library is looked up by libraryName in the normal way; a missing
    // library or function is not reported here: every operation then fails
    // with 1114.
    explicit UsbPort(const char* libraryName = kUsbBridgeLibraryName);
    ~UsbPort() override;

    uint32_t Open(const char* name, uint32_t inQueue, uint32_t outQueue, bool overlapped) override;
    uint32_t Close() override;
    uint32_t Configure(uint32_t baudRate, uint8_t dataBits, int32_t parity, uint8_t stopBits) override;
    uint32_t SetEventMask(uint32_t mask) override;
    uint32_t WaitForEvent(void* overlapped, uint32_t timeoutMs) override;
    uint32_t TakeLineErrors() override;
    uint32_t SetHandshaking(int32_t mode) override;
    uint32_t SetReadMode(int32_t mode) override;
    uint32_t Write(const void* data, uint32_t size, uint32_t* written, void* overlapped, uint32_t timeoutMs) override;
    uint32_t Read(void* buffer, uint32_t size, uint32_t* received, void* overlapped, uint32_t timeoutMs) override;
    uint32_t Purge() override;
    bool IsOpen() override;

    // True when the library and all its functions were found.
    bool IsReady() const;
    // The 0-based device number while open, else 0xFFFFFFFF.
    uint32_t DeviceIndex() const { return deviceIndex; }
    // The name the port was opened with; empty while closed.
    const char* PortName() const { return portName; }

    static constexpr uint32_t kNoDevice = 0xFFFFFFFFu;
    static constexpr uint32_t kWaitStepMs = 100;

private:
    // Finds the device a name "USBX<n>" stands for. Returns 0 or an error number.
    uint32_t SelectDevice(const char* name, uint32_t* device);
    // Open, then ready: the checks of the operations that use the device.
    uint32_t CheckUsable();
    // Sets the read or the write time-out of the device, keeping the other.
    // Returns 0 or an error number.
    uint32_t SetTimeout(bool reading, uint32_t timeoutMs);

    SiGetNumDevicesFn siGetNumDevices = nullptr;
    SiGetProductStringFn siGetProductString = nullptr;
    SiOpenFn siOpen = nullptr;
    SiCloseFn siClose = nullptr;
    SiReadFn siRead = nullptr;
    SiWriteFn siWrite = nullptr;
    SiFlushBuffersFn siFlushBuffers = nullptr;
    SiSetTimeoutsFn siSetTimeouts = nullptr;
    SiGetTimeoutsFn siGetTimeouts = nullptr;
    SiCheckRXQueueFn siCheckRXQueue = nullptr;
    SiSetBaudRateFn siSetBaudRate = nullptr;
    SiSetLineControlFn siSetLineControl = nullptr;
    SiSetFlowControlFn siSetFlowControl = nullptr;
    char portName[256] = {};
    uint32_t deviceIndex = kNoDevice;
    void* deviceHandle = nullptr;
    void* module = nullptr;
};

}  // namespace tallyx

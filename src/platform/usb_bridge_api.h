#pragma once
// The C interface of the USB bridge vendor's run-time library
// "libSiUSBXp.so", which the USB port loads at run time. Statuses are int,
// handles void*, counts and time-outs uint32_t (milliseconds), the line
// control word uint16_t. Nothing here is linked: the port fetches each
// function with dlsym and calls it through the pointer types below.
#include <cstdint>

extern "C" {

int SI_GetNumDevices(uint32_t* numDevices);
int SI_GetProductString(uint32_t device, void* text, uint32_t flags);
int SI_Open(uint32_t device, void** handle);
int SI_Close(void* handle);
int SI_Read(void* handle, void* buf, uint32_t size, uint32_t* got, void* overlapped);
int SI_Write(void* handle, void* buf, uint32_t size, uint32_t* put, void* overlapped);
int SI_FlushBuffers(void* handle, uint8_t tx, uint8_t rx);
int SI_SetTimeouts(uint32_t read, uint32_t write);
int SI_GetTimeouts(uint32_t* read, uint32_t* write);
int SI_CheckRXQueue(void* handle, uint32_t* waiting, uint32_t* status);
int SI_SetBaudRate(void* handle, uint32_t baudRate);
int SI_SetLineControl(void* handle, uint16_t lineControl);
int SI_SetFlowControl(void* handle, uint8_t cts, uint8_t rts, uint8_t dtr, uint8_t dsr, uint8_t dcd, int xonxoff);

}  // extern "C"

namespace tallyx {

// The name the library is loaded by (the normal search: LD_LIBRARY_PATH, then
// the system's library folders).
constexpr const char* kUsbBridgeLibraryName = "libSiUSBXp.so";

using SiGetNumDevicesFn = decltype(&SI_GetNumDevices);
using SiGetProductStringFn = decltype(&SI_GetProductString);
using SiOpenFn = decltype(&SI_Open);
using SiCloseFn = decltype(&SI_Close);
using SiReadFn = decltype(&SI_Read);
using SiWriteFn = decltype(&SI_Write);
using SiFlushBuffersFn = decltype(&SI_FlushBuffers);
using SiSetTimeoutsFn = decltype(&SI_SetTimeouts);
using SiGetTimeoutsFn = decltype(&SI_GetTimeouts);
using SiCheckRXQueueFn = decltype(&SI_CheckRXQueue);
using SiSetBaudRateFn = decltype(&SI_SetBaudRate);
using SiSetLineControlFn = decltype(&SI_SetLineControl);
using SiSetFlowControlFn = decltype(&SI_SetFlowControl);

}  // namespace tallyx

#pragma once
// The C interface of the USB bridge vendor's run-time library
// ("libSiUSBXp.so", "SiUSBXp.dll" on Windows), which the USB port loads at run
// time. Statuses are int, handles void*, counts and time-outs uint32_t
// (milliseconds), the line control word uint16_t. Nothing here is linked: the
// port fetches each function by name and calls it through the pointer types
// below.
#include <cstdint>

// The vendor's functions use the system's standard calling convention, which
// on 32-bit Windows is __stdcall.
#if defined(_WIN32) && defined(__i386__)
#define TALLYX_SI_CALL __stdcall
#else
#define TALLYX_SI_CALL
#endif

extern "C" {

int TALLYX_SI_CALL SI_GetNumDevices(uint32_t* numDevices);
int TALLYX_SI_CALL SI_GetProductString(uint32_t device, void* text, uint32_t flags);
int TALLYX_SI_CALL SI_Open(uint32_t device, void** handle);
int TALLYX_SI_CALL SI_Close(void* handle);
int TALLYX_SI_CALL SI_Read(void* handle, void* buf, uint32_t size, uint32_t* got, void* overlapped);
int TALLYX_SI_CALL SI_Write(void* handle, void* buf, uint32_t size, uint32_t* put, void* overlapped);
int TALLYX_SI_CALL SI_FlushBuffers(void* handle, uint8_t tx, uint8_t rx);
int TALLYX_SI_CALL SI_SetTimeouts(uint32_t read, uint32_t write);
int TALLYX_SI_CALL SI_GetTimeouts(uint32_t* read, uint32_t* write);
int TALLYX_SI_CALL SI_CheckRXQueue(void* handle, uint32_t* waiting, uint32_t* status);
int TALLYX_SI_CALL SI_SetBaudRate(void* handle, uint32_t baudRate);
int TALLYX_SI_CALL SI_SetLineControl(void* handle, uint16_t lineControl);
int TALLYX_SI_CALL SI_SetFlowControl(void* handle, uint8_t cts, uint8_t rts, uint8_t dtr, uint8_t dsr, uint8_t dcd, int xonxoff);

}  // extern "C"

namespace tallyx {

// The name the library is loaded by, in the system's normal search for
// libraries.
extern const char* const kUsbBridgeLibraryName;

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

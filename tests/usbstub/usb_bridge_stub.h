#pragma once
// Test controls of the stand-in USB bridge library. Its devices are the
// serial devices (pseudo-terminal slaves) listed, separated by ':', in the
// environment variable TALLYX_USB_STUB_DEVICES, read on every call; device k
// is the (k+1)-th path. Tests reach these functions with dlsym on the loaded
// library.
#include <cstdint>

extern "C" {

// Forgets recorded settings and call counts and every forced status.
void UsbStub_Reset();
// Makes the named SI_ function (for example "SI_Open") return status from now
// on without doing anything; a status of -1 lets it work again.
void UsbStub_ForceStatus(const char* function, int status);
// How often the named SI_ function was called since the last reset.
uint32_t UsbStub_CallCount(const char* function);
// The last baud rate and line control word set on a device, 0 when none.
uint32_t UsbStub_BaudRate(uint32_t device);
uint32_t UsbStub_LineControl(uint32_t device);
// The last flow control arguments set on a device, packed one byte each
// (cts, rts, dtr, dsr, dcd, xonxoff from the most significant end of the low
// 48 bits); 0xFFFF'FFFF'FFFF'FFFF when none was set.
uint64_t UsbStub_FlowControl(uint32_t device);
// The devices open at the moment.
uint32_t UsbStub_OpenCount();

}  // extern "C"

// Types of the controls, for dlsym.
using UsbStubResetFn = decltype(&UsbStub_Reset);
using UsbStubForceStatusFn = decltype(&UsbStub_ForceStatus);
using UsbStubCallCountFn = decltype(&UsbStub_CallCount);
using UsbStubBaudRateFn = decltype(&UsbStub_BaudRate);
using UsbStubLineControlFn = decltype(&UsbStub_LineControl);
using UsbStubFlowControlFn = decltype(&UsbStub_FlowControl);
using UsbStubOpenCountFn = decltype(&UsbStub_OpenCount);

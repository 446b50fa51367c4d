#pragma once
// Numbers of the USB bridge library: its statuses as Windows error numbers,
// and the line control word it takes.
#include <cstdint>

namespace tallyx {

// Status values the bridge library returns.
constexpr int kUsbSuccess = 0x00;
constexpr int kUsbReadTimedOut = 0x0D;
constexpr int kUsbDeviceNotFound = 0xFF;

// The Windows error number of a bridge status: 0 -> 0, 1 -> 6, 2 and 3 -> 30,
// 4 and 5 -> 29, 6, 7 and 9 -> 87, 8 -> 1117, 10 -> 50, 13 and 14 -> 1460,
// 15 -> 997, 255 -> 1168, any other -> 31.
uint32_t UsbStatusToWin32(int status);

// The line control word: data bits in bits 8 to 15, the parity code
// (0 none, 1 odd, 2 even, 3 mark, 4 space) in bits 4 to 7, the stop-bit code
// (0 one, 1 one and a half, 2 two) in bits 0 to 3.
uint16_t UsbLineControlWord(uint8_t dataBits, uint8_t parity, uint8_t stopBits);

}  // namespace tallyx

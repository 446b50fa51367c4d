#pragma once
// Checksums of model A's command framing and flash pages.
#include <cstdint>

namespace tallyx {

// Sum of all bytes modulo 256; 0 for no bytes.
uint8_t Sum8(const uint8_t* data, uint32_t length);

// CRC-16 of the Modbus standard (reflected polynomial 0xA001, start 0xFFFF),
// returned with its two bytes swapped: the high byte of the result is the
// CRC's low byte, which is the byte sent first on the wire. "123456789" gives
// 0x374B; no bytes give 0xFFFF.
uint16_t Crc16Modbus(const uint8_t* data, uint32_t length);

}  // namespace tallyx

// The check values of the model A wire format: the 8-bit sum of a text frame and the
// CRC-16/MODBUS of a flash page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tallysim {

// Sum of the bytes modulo 256.
uint8_t Sum8(std::string_view bytes);

// The sum written as upper-case hexadecimal without leading zeros ("C", "92", "0").
std::string Sum8Text(std::string_view bytes);

// CRC-16/MODBUS: polynomial 0x8005 reflected (0xA001), initial value 0xFFFF, no final xor.
uint16_t Crc16Modbus(const uint8_t* data, size_t length);

}  // namespace tallysim

#include "comm/checksums.h"

#include <array>

namespace tallyx {

namespace {

// The byte-wise CRC is driven by two 256-entry tables, one per byte of the
// 16-bit table value of the reflected polynomial, so that the running CRC can
// be kept as two separate bytes. Both are built at compile time.
struct CrcTables {
    std::array<uint8_t, 256> low{};   // low byte of the table value for an index
    std::array<uint8_t, 256> high{};  // high byte of the table value for an index
};

constexpr CrcTables MakeCrcTables() {
    CrcTables tables;
    for (uint32_t index = 0; index < 256; ++index) {
        uint16_t value = static_cast<uint16_t>(index);
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1u) ? static_cast<uint16_t>((value >> 1) ^ 0xA001u) : static_cast<uint16_t>(value >> 1);
        tables.low[index] = static_cast<uint8_t>(value & 0xFFu);
        tables.high[index] = static_cast<uint8_t>(value >> 8);
    }
    return tables;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

static_assert(kCrcTables.low[1] == 0xC1 && kCrcTables.high[1] == 0xC0);
static_assert(kCrcTables.low[255] == 0x40 && kCrcTables.high[255] == 0x40);

}  // namespace

uint8_t Sum8(const uint8_t* data, uint32_t length) {
    if (data == nullptr) return 0;
    uint8_t sum = 0;
    for (uint32_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + data[i]);
    return sum;
}

uint16_t Crc16Modbus(const uint8_t* data, uint32_t length) {
    // crcLow and crcHigh are the two bytes of the standard CRC value.
    uint8_t crcLow = 0xFF;
    uint8_t crcHigh = 0xFF;
    if (data == nullptr) length = 0;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t index = static_cast<uint8_t>(crcLow ^ data[i]);
        crcLow = static_cast<uint8_t>(crcHigh ^ kCrcTables.low[index]);
        crcHigh = kCrcTables.high[index];
    }
    // Swapped: the CRC's low byte becomes the high byte of the result.
    return static_cast<uint16_t>((crcLow << 8) | crcHigh);
}

}  // namespace tallyx

// The two checksums of model A's framing against known vectors.
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "comm/checksums.h"

namespace {

using tallyx::Crc16Modbus;
using tallyx::Sum8;

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

TEST(Crc16Modbus, KnownVectorsWithTheLowByteFirst) {
    EXPECT_EQ(Crc16Modbus(Bytes("123456789"), 9), 0x374B);
    EXPECT_EQ(Crc16Modbus(nullptr, 0), 0xFFFF);
    EXPECT_EQ(Crc16Modbus(Bytes(""), 0), 0xFFFF);
    // Read holding register frames: the result is the two CRC bytes in wire order.
    const uint8_t readHolding[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(Crc16Modbus(readHolding, sizeof readHolding), 0x840A);
    const uint8_t readInput[] = {0x01, 0x04, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(Crc16Modbus(readInput, sizeof readInput), 0x31CA);
}

TEST(Crc16Modbus, AFrameWithItsCrcAppendedChecksToZero) {
    std::vector<uint8_t> page(258);
    for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 37 + 11);
    const uint16_t crc = Crc16Modbus(page.data(), static_cast<uint32_t>(page.size()));
    page.push_back(static_cast<uint8_t>(crc >> 8));
    page.push_back(static_cast<uint8_t>(crc & 0xFF));
    EXPECT_EQ(Crc16Modbus(page.data(), static_cast<uint32_t>(page.size())), 0x0000);
    page[100] ^= 0x01;
    EXPECT_NE(Crc16Modbus(page.data(), static_cast<uint32_t>(page.size())), 0x0000);
}

TEST(Sum8, AddsBytesModulo256) {
    EXPECT_EQ(Sum8(nullptr, 0), 0);
    EXPECT_EQ(Sum8(Bytes("123456789"), 9), 0xDD);  // 477 = 0x1DD
    const uint8_t wrap[] = {0xFF, 0x01, 0x80, 0x80};
    EXPECT_EQ(Sum8(wrap, 2), 0x00);
    EXPECT_EQ(Sum8(wrap, 4), 0x00);
    EXPECT_EQ(Sum8(wrap + 2, 1), 0x80);
}

}  // namespace

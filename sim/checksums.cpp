#include "checksums.h"

#include <cstdio>

namespace tallysim {

uint8_t Sum8(std::string_view bytes) {
    unsigned sum = 0;
    for (unsigned char c : bytes) sum += c;
    return static_cast<uint8_t>(sum & 0xFF);
}

std::string Sum8Text(std::string_view bytes) {
    char text[8];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(Sum8(bytes)));
    return text;
}

uint16_t Crc16Modbus(const uint8_t* data, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

}  // namespace tallysim

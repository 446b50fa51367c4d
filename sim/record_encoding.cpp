#include "record_encoding.h"

#include <algorithm>

namespace tallysim {

std::array<uint8_t, 6> EncodeModelARecord(const Vehicle& vehicle, bool dateEncoding) {
    std::array<uint8_t, 6> record{};
    if (vehicle.rawSize > 0) {
        std::copy_n(vehicle.raw.begin(), std::min<size_t>(6, vehicle.rawSize), record.begin());
        return record;
    }
    const SimDateTime t = vehicle.Time();
    const unsigned day = dateEncoding ? static_cast<unsigned>(t.day) : 0;
    record[0] = static_cast<uint8_t>(((day >> 2) << 5) | (static_cast<unsigned>(t.hour) & 0x1F));
    record[1] = static_cast<uint8_t>(((day & 3) << 6) | (static_cast<unsigned>(t.minute) & 0x3F));
    record[2] = static_cast<uint8_t>(t.second);
    record[3] = vehicle.flags;
    record[4] = vehicle.speedWhole;
    record[5] = vehicle.lengthWhole;
    return record;
}

std::array<uint8_t, 8> EncodeModelBRecord(const Vehicle& vehicle, int64_t beginMs) {
    std::array<uint8_t, 8> record{};
    if (vehicle.rawSize > 0) {
        std::copy_n(vehicle.raw.begin(), std::min<size_t>(8, vehicle.rawSize), record.begin());
        return record;
    }
    int64_t offset = (vehicle.timeMs - beginMs) / 1000;
    offset = std::clamp<int64_t>(offset, 0, 0xFFFFFF);
    record[0] = vehicle.flags;
    record[1] = static_cast<uint8_t>(offset >> 16);
    record[2] = static_cast<uint8_t>(offset >> 8);
    record[3] = static_cast<uint8_t>(offset);
    record[4] = vehicle.speedWhole;
    record[5] = vehicle.speedFraction;
    record[6] = vehicle.lengthWhole;
    record[7] = vehicle.lengthFraction;
    return record;
}

}  // namespace tallysim

#include "model_a_flash.h"

#include <algorithm>

#include "checksums.h"

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

void ModelAFlash::Load(const Study& study) {
    Erase();
    const size_t count = std::min<size_t>(study.vehicles.size(), kARecordCapacity);
    sequential_.reserve(count * 6);
    for (size_t i = 0; i < count; ++i) {
        const auto record = EncodeModelARecord(study.vehicles[i], study.dateEncoding);
        sequential_.insert(sequential_.end(), record.begin(), record.end());
    }
    const size_t periods = std::min<size_t>(study.periods.size(), kAPeriodicCapacity);
    periodic_.reserve(periods);
    for (size_t i = 0; i < periods; ++i) {
        const PeriodRecord& p = study.periods[i];
        std::array<uint8_t, 13> r{};
        r[0] = static_cast<uint8_t>(p.storedEndOffset >> 8);
        r[1] = static_cast<uint8_t>(p.storedEndOffset);
        const uint16_t count16 = static_cast<uint16_t>(std::min<uint32_t>(p.count, 0xFFFF));
        const uint16_t reverse16 = static_cast<uint16_t>(std::min<uint32_t>(p.reverseCount, 0xFFFF));
        r[2] = static_cast<uint8_t>(count16 >> 8);
        r[3] = static_cast<uint8_t>(count16);
        r[4] = p.temperatureByte;
        r[5] = static_cast<uint8_t>(reverse16 >> 8);
        r[6] = static_cast<uint8_t>(reverse16);
        r[11] = static_cast<uint8_t>(p.occupancy >> 8);
        r[12] = static_cast<uint8_t>(p.occupancy);
        periodic_.push_back(r);
    }
}

void ModelAFlash::Erase() {
    sequential_.clear();
    sequential_.shrink_to_fit();
    periodic_.clear();
}

void ModelAFlash::Seal(FlashPage& page, unsigned chip, unsigned number) {
    page[252] = static_cast<uint8_t>(chip);
    page[253] = static_cast<uint8_t>(number >> 8);
    page[254] = static_cast<uint8_t>(number);
    // Outside the check: varies from page to page, so a reader that checks one byte too many fails.
    page[255] = static_cast<uint8_t>((number * 7 + chip) ^ 0xA5);
    const uint16_t crc = Crc16Modbus(page.data(), 255);
    page[256] = static_cast<uint8_t>(crc & 0xFF);
    page[257] = static_cast<uint8_t>(crc >> 8);
    page[258] = 0x55;
    page[259] = 0xAA;
}

FlashPage ModelAFlash::Page(unsigned chip, unsigned page) const {
    FlashPage bytes;
    bytes.fill(0xFF);
    if (!ValidAddress(chip, page) || page < kAFirstDataPage) return bytes;
    const size_t slot = page - kAFirstDataPage;
    if (chip == 1) {
        if (slot >= periodic_.size()) return bytes;
        std::copy(periodic_[slot].begin(), periodic_[slot].end(), bytes.begin());
    } else {
        const size_t index = (chip - 2) * size_t{kAPagesPerChip} + slot;
        const size_t offset = index * kARecordsPerPage * 6;
        if (offset >= sequential_.size()) return bytes;
        const size_t length = std::min<size_t>(kARecordsPerPage * 6, sequential_.size() - offset);
        std::copy_n(sequential_.begin() + static_cast<std::ptrdiff_t>(offset), length, bytes.begin());
    }
    Seal(bytes, chip, page);
    return bytes;
}

}  // namespace tallysim

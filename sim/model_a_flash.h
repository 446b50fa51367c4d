// Model A's flash memory as the counter serves it, page by page. Chip 1 holds one periodic
// record per page, chips 2 and 3 the sequential records, 42 of 6 bytes per page, from page 8
// on. A page is 260 bytes: 252 data bytes, 3 further bytes, 1 byte outside the check, the
// CRC-16/MODBUS of bytes 0 to 254 (low byte first) and 2 trailing bytes. Erased pages read as
// 0xFF throughout. Pages are built when asked for, so a full flash costs little memory.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "study.h"

namespace tallysim {

inline constexpr size_t kPageSize = 260;
using FlashPage = std::array<uint8_t, kPageSize>;

// How the counter stores one vehicle in 6 bytes: time of day, flags, speed, length; the day of
// the month in the top bits when date encoding is on. A vehicle with raw bytes of its own
// (an invalid record) is stored as those.
std::array<uint8_t, 6> EncodeModelARecord(const Vehicle& vehicle, bool dateEncoding);

class ModelAFlash {
public:
    // Stores the study's records (up to the flash capacity).
    void Load(const Study& study);
    void Erase();

    // The page as read from the chip; chip 1 to 3, page 0 to 4095.
    FlashPage Page(unsigned chip, unsigned page) const;
    static bool ValidAddress(unsigned chip, unsigned page) { return chip >= 1 && chip <= 3 && page <= 4095; }

    size_t SequentialRecords() const { return sequential_.size() / 6; }
    size_t PeriodicRecords() const { return periodic_.size(); }

    // Fills the bytes after the data (page identification, the byte outside the check, the CRC
    // and the trailing bytes) of a page whose first 252 bytes are set.
    static void Seal(FlashPage& page, unsigned chip, unsigned number);

private:
    std::vector<uint8_t> sequential_;            // 6 bytes per record, in recorded order
    std::vector<std::array<uint8_t, 13>> periodic_;  // the used bytes of each periodic page
};

}  // namespace tallysim

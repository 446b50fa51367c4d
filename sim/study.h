// The content of a simulated counter: the vehicles it recorded (in recorded order) and, for
// model A, its periodic records. Tests compute the reader's expected output from these.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "description.h"
#include "sim_time.h"

namespace tallysim {

// Model A flag bits as the counter stores them.
inline constexpr uint8_t kAForward = 0x02;
inline constexpr uint8_t kAReverse = 0x04;
inline constexpr uint8_t kANoLength = 0x20;
inline constexpr uint8_t kAStopped = 0x40;
inline constexpr uint8_t kAUnclassified = 0x80;
// Model B flag bits.
inline constexpr uint8_t kBForward = 0x01;
inline constexpr uint8_t kBReverse = 0x02;
inline constexpr uint8_t kBUnclassified = 0x04;

// Model A's sequential flash: chips 2 and 3, pages 8 to 4095, 42 records of 6 bytes a page.
inline constexpr unsigned kAFirstDataPage = 8;
inline constexpr unsigned kAPagesPerChip = 4088;
inline constexpr unsigned kASequentialPages = 2 * kAPagesPerChip;  // 8176
inline constexpr unsigned kARecordsPerPage = 42;
inline constexpr uint64_t kARecordCapacity = uint64_t{kASequentialPages} * kARecordsPerPage;  // 343392
inline constexpr unsigned kAPeriodicCapacity = kAPagesPerChip;  // chip 1, one page a period
// Model B: a full study in the generator's terms.
inline constexpr uint64_t kBFullStudy = 1'000'000;

struct Vehicle {
    // When the counter stamped the record, in milliseconds since 1970-01-01 00:00:00 of the
    // counter's own (local) clock. Records store whole seconds; the milliseconds are dropped.
    int64_t timeMs = 0;
    bool reverse = false;
    // The flag byte as stored (model A: kAForward...; model B: kBForward..., possibly with the
    // top three bits set as noise).
    uint8_t flags = 0;
    // What the counter measured: miles per hour and feet (0: none).
    double speedMph = 0;
    double lengthFt = 0;
    // As stored: model A keeps the whole parts; model B also the fraction bytes, which the record
    // holds as a separate number of tenths (or hundredths, see hundredths share).
    uint8_t speedWhole = 0;
    uint8_t speedFraction = 0;
    uint8_t lengthWhole = 0;
    uint8_t lengthFraction = 0;
    bool truck = false;
    bool stopped = false;
    bool unclassified = false;
    // Model A: stored as an invalid record (erased bytes, or no day although the unit stamps
    // days), which a reader drops.
    bool invalid = false;
    // Model A: stamped earlier than the record before it.
    bool outOfSequence = false;
    // When rawSize is not 0, the record is stored as exactly these bytes.
    std::array<uint8_t, 8> raw{};
    uint8_t rawSize = 0;

    SimDateTime Time() const { return SimDateTime::FromMillis(timeMs); }
};

struct PeriodRecord {
    uint32_t index = 0;               // from 0
    SimDateTime end;                  // begin + (index + 1) x period
    uint16_t endOffsetMinutes = 0;    // (index + 1) x period, in 16 bits
    uint16_t storedEndOffset = 0;     // what the page holds (0 where zero offsets were asked for)
    int temperatureC = 0;             // model A
    uint8_t temperatureByte = 0;      // as stored: two's complement
    uint16_t occupancy = 0;           // as stored: percent of the period a vehicle was over the sensor
    uint32_t count = 0;               // valid records stamped within [end - period, end)
    uint32_t reverseCount = 0;
};

struct Study {
    Model model = Model::A;
    SimDateTime begin;
    SimDateTime end;
    unsigned periodMinutes = 15;
    bool dateEncoding = false;        // model A records carry the day of the month
    std::vector<Vehicle> vehicles;    // in recorded order
    std::vector<PeriodRecord> periods;
};

}  // namespace tallysim

#pragma once
// The records of a model A counter: the raw 6-byte vehicle record as stored in
// flash, its flag bits, and the decoded periodic record.
#include <cstdint>

#include "drivers/modela/zk110_model.h"
#include "time/date_time.h"

namespace tallyx {

// Flag bits of model A vehicles: the low byte comes from the counter, the
// high byte records what the library corrected.
inline constexpr uint16_t kZK110Forward = 0x0002;
inline constexpr uint16_t kZK110Reverse = 0x0004;
inline constexpr uint16_t kZK110NoLength = 0x0020;
inline constexpr uint16_t kZK110Stopped = 0x0040;
inline constexpr uint16_t kZK110Unclassified = 0x0080;
inline constexpr uint16_t kZK110ModifiedTimestamp = 0x0100;
inline constexpr uint16_t kZK110DefaultLength = 0x0200;
inline constexpr uint16_t kZK110DefaultSpeed = 0x0400;

// Plausible measurements; anything outside is cleared or replaced.
inline constexpr uint8_t kZK110MinLength = 6;
inline constexpr uint8_t kZK110MaxLength = 141;
inline constexpr uint8_t kZK110DefaultLengthFeet = 14;
inline constexpr uint8_t kZK110MinSpeed = 4;
inline constexpr uint8_t kZK110MaxSpeed = 127;


// A raw vehicle record:
//   byte 0: bits 7-5 day of the month bits 4-2, bits 4-0 hour
//   byte 1: bits 7-6 day of the month bits 1-0, bits 5-0 minute
//   byte 2: second; byte 3: flags; byte 4: speed (mph); byte 5: length (feet)
// Day 0 means the record carries no day.
inline uint32_t ZK110RecordDay(const uint8_t* raw) {
    return static_cast<uint32_t>(((raw[0] >> 5) << 2) | (raw[1] >> 6));
}

// Erased flash (bytes 0, 1 and 3 all 0xFF) is no record; with date encoding
// a record without a day is not one either.
inline bool IsValidZK110Record(const uint8_t* raw, bool dateEncoding) {
    if (raw[3] == 0xFF && raw[0] == 0xFF && raw[1] == 0xFF) return false;
    if (dateEncoding && raw[0] < 24 && raw[1] < 60) return false;
    return true;
}

// The record's time stamp placed on the running date: a day smaller than the
// running day moves to the next month; without a day the running date stays.
// The fields are taken as they are, nothing is normalised.
DateTime ApplyZK110TimeStamp(const DateTime& running, const uint8_t* raw);

// One study period of a model A counter.
struct ZK110PeriodicRecord {
    uint16_t endOffsetMinutes = 0;  // minutes from the study begin to the end of the period
    uint16_t count = 0;             // vehicles of the period
    uint16_t reverseCount = 0;      // of those, the reverse ones
    int8_t temperature = 0;         // degrees Celsius, signed
    uint16_t occupancy = 0;
    uint32_t recordNumber = 0;      // 1-based index of the period
};

}  // namespace tallyx

#pragma once
// The records of a model B counter: the raw 8-byte vehicle record as the
// counter sends it and its flag bits.
#include <cstdint>

#include "drivers/modelb/zk220_model.h"

namespace tallyx {

// Flag bits of model B vehicles; only the low five bits of the raw byte count.
inline constexpr uint16_t kZK220Forward = 0x01;
inline constexpr uint16_t kZK220Reverse = 0x02;
inline constexpr uint16_t kZK220Unclassified = 0x04;
inline constexpr uint8_t kZK220FlagMask = 0x1F;

// A raw vehicle record:
//   byte 0: flags; bytes 1-3: seconds from the study begin, big-endian;
//   bytes 4, 5: speed (mph) as whole part and fraction digits;
//   bytes 6, 7: length (feet) the same way.
// The fraction byte is read as the digits after the point: 7 is .7, 70 is .70.
inline uint32_t ZK220TimeOffset(const uint8_t* raw) {
    return (uint32_t{raw[1]} << 16) | (uint32_t{raw[2]} << 8) | raw[3];
}

// The measurement whole.fraction rounded half up to a whole number, held in
// 8 bits: a value that rounds to 256 or more is kept as 255, the largest the
// record can hold, rather than wrapping to a small number.
uint8_t ZK220RoundedMeasure(uint8_t whole, uint8_t fraction);

// The measurement as the decimal text "whole.fraction".
void FormatZK220Measure(uint8_t whole, uint8_t fraction, char* text, uint32_t size);

}  // namespace tallyx

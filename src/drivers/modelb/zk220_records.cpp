#include "drivers/modelb/zk220_records.h"

#include <cstdio>

namespace tallyx {

uint8_t ZK220RoundedMeasure(uint8_t whole, uint8_t fraction) {
    // The fraction byte holds the digits after the point, so it is worth
    // fraction / 10^digits; it rounds the whole part up from one half on.
    // Integer arithmetic gives exactly what reading "whole.fraction" as a
    // number and rounding it half up gives.
    const uint32_t scale = fraction >= 100 ? 1000 : fraction >= 10 ? 100 : 10;
    const uint32_t rounded = uint32_t{whole} + (uint32_t{fraction} * 2 >= scale ? 1 : 0);
    return static_cast<uint8_t>(rounded > 255 ? 255 : rounded);
}

void FormatZK220Measure(uint8_t whole, uint8_t fraction, char* text, uint32_t size) {
    std::snprintf(text, size, "%u.%u", static_cast<unsigned>(whole), static_cast<unsigned>(fraction));
}

}  // namespace tallyx

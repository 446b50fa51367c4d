#include "properties/units.h"

#include <cmath>

namespace tallyx {
namespace {

// A rounded, non-negative double as an unsigned 32-bit number; out-of-range
// values would be undefined to convert, so they saturate instead.
uint32_t ToUnsigned(double value) {
    if (!(value >= 0.0)) return 0;
    if (value >= 4294967295.0) return UINT32_MAX;
    return static_cast<uint32_t>(value);
}

double Whole(double value) { return RoundHalfUp(value, 0); }

}  // namespace

double RoundHalfUp(double value, uint32_t digits) {
    double scaled = value;
    for (uint32_t i = 0; i < digits; ++i) scaled *= 10.0;
    double lower = std::floor(scaled);
    double rounded = (scaled - lower >= 0.5) ? std::ceil(scaled) : lower;
    for (uint32_t i = 0; i < digits; ++i) rounded *= 0.1;
    return rounded;
}

uint32_t KmhToMph(uint32_t kmh) { return ToUnsigned(Whole(static_cast<double>(kmh) * kMphPerKmh)); }

uint32_t MphToKmh(uint32_t mph) {
    // Work in 64 bits so that k + 1 cannot wrap for the largest inputs.
    const double k = Whole(static_cast<double>(mph) * kKmhPerMph);
    const uint64_t whole = static_cast<uint64_t>(k);
    auto convertsBack = [mph](uint64_t candidate) {
        return Whole(static_cast<double>(candidate) * kMphPerKmh) == static_cast<double>(mph);
    };
    uint64_t chosen = whole;
    switch (whole % 10) {
        case 1:
        case 6:
            if (convertsBack(whole - 1)) chosen = whole - 1;
            else if (convertsBack(whole + 1)) chosen = whole + 1;
            break;
        case 4:
        case 9:
            if (convertsBack(whole + 1)) chosen = whole + 1;
            else if (convertsBack(whole - 1)) chosen = whole - 1;
            break;
        default:
            break;
    }
    return ToUnsigned(static_cast<double>(chosen));
}

uint32_t DecimetresToFeet(uint32_t dm) {
    uint32_t ft = ToUnsigned(Whole(static_cast<double>(dm) * kFeetPerDecimetre));
    return (dm != 0 && ft == 0) ? 1 : ft;
}

uint32_t FeetToDecimetres(uint32_t ft) { return ToUnsigned(Whole(static_cast<double>(ft) * kDecimetresPerFoot)); }

int32_t CelsiusToFahrenheit(int32_t c) {
    // 64-bit intermediate: 9 * c overflows 32 bits for large temperatures.
    int64_t f = (9 * static_cast<int64_t>(c)) / 5 + 32;
    if (f > INT32_MAX) return INT32_MAX;
    if (f < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(f);
}

}  // namespace tallyx

#pragma once
// Measurement units. Inside the library speeds are miles per hour, lengths feet
// and temperatures degrees Celsius; these convert to what a caller sees.
#include <cstdint>

namespace tallyx {

// Factors as the counters' software has always used them: single-precision
// constants widened to double, and their exact reciprocals.
inline constexpr double kMphPerKmh = static_cast<double>(0.6213712f);
inline constexpr double kKmhPerMph = 1.0 / kMphPerKmh;
inline constexpr double kFeetPerDecimetre = static_cast<double>(0.328084f);
inline constexpr double kDecimetresPerFoot = 1.0 / kFeetPerDecimetre;

// Rounds to the given number of decimal places, halves upwards (2.5 gives 3,
// -2.5 gives -2). The scaling is repeated multiplication by 10 and by 0.1.
double RoundHalfUp(double value, uint32_t digits);

// Whole-number conversions, rounded half up; results beyond the 32-bit range
// saturate at its maximum.
uint32_t KmhToMph(uint32_t kmh);
// Prefers a neighbouring value ending in 0 or 5 when that converts back to
// the same mph, so round km/h values survive a round trip.
uint32_t MphToKmh(uint32_t mph);
// A non-zero length never becomes 0 feet.
uint32_t DecimetresToFeet(uint32_t dm);
uint32_t FeetToDecimetres(uint32_t ft);

// 9 * c / 5 + 32 in integer arithmetic, the division truncated toward zero.
int32_t CelsiusToFahrenheit(int32_t c);

}  // namespace tallyx

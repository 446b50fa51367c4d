// Rounding and unit conversions. Expected values are worked out by hand from
// the factors 0.6213712 mph per km/h and 0.328084 ft per dm.
#include <cstdint>

#include <gtest/gtest.h>

#include "properties/units.h"

namespace tallyx {
namespace {

TEST(UnitFactors, AreTheWidenedSinglePrecisionConstants) {
    EXPECT_EQ(kMphPerKmh, 0.6213712096214294);
    EXPECT_EQ(kKmhPerMph, 1.6093439549754007);
    EXPECT_EQ(kFeetPerDecimetre, 0.32808399200439453);
    EXPECT_EQ(kDecimetresPerFoot, 3.0479999767456056);
}

TEST(RoundHalfUp, HalvesGoUpwards) {
    EXPECT_EQ(RoundHalfUp(0.5, 0), 1.0);
    EXPECT_EQ(RoundHalfUp(-0.5, 0), 0.0);
    EXPECT_EQ(RoundHalfUp(2.5, 0), 3.0);
    EXPECT_EQ(RoundHalfUp(-2.5, 0), -2.0);
    EXPECT_EQ(RoundHalfUp(2.4999, 0), 2.0);
    EXPECT_EQ(RoundHalfUp(-2.5001, 0), -3.0);
    EXPECT_EQ(RoundHalfUp(7.0, 0), 7.0);
}

TEST(RoundHalfUp, DecimalPlaces) {
    EXPECT_DOUBLE_EQ(RoundHalfUp(1.25, 1), 1.3);
    EXPECT_DOUBLE_EQ(RoundHalfUp(1.24, 1), 1.2);
    EXPECT_DOUBLE_EQ(RoundHalfUp(3.14159, 2), 3.14);
    EXPECT_DOUBLE_EQ(RoundHalfUp(-1.25, 1), -1.2);
}

TEST(SpeedConversion, KmhToMph) {
    EXPECT_EQ(KmhToMph(0), 0u);
    EXPECT_EQ(KmhToMph(1), 1u);      // 0.62
    EXPECT_EQ(KmhToMph(100), 62u);   // 62.14
    EXPECT_EQ(KmhToMph(120), 75u);   // 74.56
    EXPECT_EQ(KmhToMph(80), 50u);    // 49.71
    EXPECT_EQ(KmhToMph(UINT32_MAX), 2668769023u);  // 2668769022.9
}

TEST(SpeedConversion, MphToKmhPrefersRoundNeighbours) {
    EXPECT_EQ(MphToKmh(0), 0u);
    EXPECT_EQ(MphToKmh(62), 100u);  // 99.78
    EXPECT_EQ(MphToKmh(28), 45u);   // 45.06
    // 14.48 rounds to 14; 15 km/h is 9.32 mph, which rounds back to 9.
    EXPECT_EQ(MphToKmh(9), 15u);
    // 25.75 rounds to 26; 25 km/h is 15.53 mph, which rounds back to 16.
    EXPECT_EQ(MphToKmh(16), 25u);
    // 30.58 rounds to 31; 30 km/h is 18.64 mph, back to 19.
    EXPECT_EQ(MphToKmh(19), 30u);
    // 20.92 rounds to 21; 20 km/h gives 12 mph and 22 km/h 14 mph: 21 stays.
    EXPECT_EQ(MphToKmh(13), 21u);
    // 16.09 rounds to 16; 15 km/h gives 9 mph and 17 km/h 11 mph: 16 stays.
    EXPECT_EQ(MphToKmh(10), 16u);
}

TEST(SpeedConversion, LargestInputsSaturate) {
    EXPECT_EQ(MphToKmh(UINT32_MAX), UINT32_MAX);
    EXPECT_EQ(MphToKmh(3000000000u), UINT32_MAX);  // 4.83e9 km/h
}

TEST(LengthConversion, DecimetresToFeetKeepsNonZeroLengths) {
    EXPECT_EQ(DecimetresToFeet(0), 0u);
    EXPECT_EQ(DecimetresToFeet(1), 1u);   // 0.33 would round to 0
    EXPECT_EQ(DecimetresToFeet(2), 1u);   // 0.66
    EXPECT_EQ(DecimetresToFeet(15), 5u);  // 4.92
    EXPECT_EQ(DecimetresToFeet(30), 10u); // 9.84
}

TEST(LengthConversion, FeetToDecimetres) {
    EXPECT_EQ(FeetToDecimetres(0), 0u);
    EXPECT_EQ(FeetToDecimetres(1), 3u);    // 3.05
    EXPECT_EQ(FeetToDecimetres(10), 30u);  // 30.48
    EXPECT_EQ(FeetToDecimetres(20), 61u);  // 60.96
    EXPECT_EQ(FeetToDecimetres(2000000000u), UINT32_MAX);  // 6.1e9 dm
}

TEST(TemperatureConversion, CelsiusToFahrenheitTruncatesTowardZero) {
    EXPECT_EQ(CelsiusToFahrenheit(0), 32);
    EXPECT_EQ(CelsiusToFahrenheit(100), 212);
    EXPECT_EQ(CelsiusToFahrenheit(-40), -40);
    EXPECT_EQ(CelsiusToFahrenheit(1), 33);    // 9 / 5 = 1
    EXPECT_EQ(CelsiusToFahrenheit(-1), 31);   // -9 / 5 = -1
    EXPECT_EQ(CelsiusToFahrenheit(-17), 2);   // -153 / 5 = -30
    EXPECT_EQ(CelsiusToFahrenheit(INT32_MAX), INT32_MAX);
    EXPECT_EQ(CelsiusToFahrenheit(INT32_MIN), INT32_MIN);
}

}  // namespace
}  // namespace tallyx

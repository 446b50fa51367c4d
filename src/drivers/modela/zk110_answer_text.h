#pragma once
// Pieces of model A answer texts: hexadecimal numbers, hexadecimal bin lists
// and the battery readings.
#include <cstdint>

namespace tallyx {

// The answer from its n-th character (counting from 1) with leading spaces
// skipped; the empty text when the answer is shorter.
const char* AnswerTextFrom(const char* answer, uint32_t position);

// The hexadecimal digits at the start of text as one number; 0 without
// digits. A number beyond 32 bits reads as 0xFFFFFFFF.
uint32_t ParseHexNumber(const char* text);

// Rewrites a list of hexadecimal bin limits in decimal: each run of
// hexadecimal digits is a number, every other character a separator that is
// kept after a number and copied when it follows none. A number 0 ends the
// list (unused limits are sent as 0). Trailing spaces are removed. The
// output holds at most size - 1 characters; a longer list is cut after the
// last piece that fits.
void ConvertHexBinList(const char* text, char* output, uint32_t size);

// Voltage of a raw reading of the older units.
double LegacyBatteryVoltage(uint32_t raw);

// Charge left in percent for a battery voltage.
uint32_t BatteryPercentFromVoltage(double volts);

}  // namespace tallyx

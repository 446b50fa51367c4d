#pragma once
// Reading numbers out of the texts the library hands over.
#include <cstdint>
#include <string_view>
#include <vector>

namespace tallyx {

// A decimal number read like atol: leading white space, an optional sign, then
// digits up to the first other character; 0 when there is none. The value
// saturates at the limits of a signed 32-bit number.
int32_t ParseDecimal(std::string_view text);

// The numbers of a bin list: every run of decimal digits is one number, any
// other character separates them ("10, 20;30" gives 10, 20, 30; "-7" gives 7).
// A run too long for a signed 32-bit number saturates at its maximum.
std::vector<uint32_t> ParseBinNumbers(std::string_view text);

}  // namespace tallyx

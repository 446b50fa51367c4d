#pragma once
// The model A counter's clock text: twelve decimal digits YYMMDDhhmmss, one
// pair per field (year minus 2000, month, day, hour, minute, second).
#include "time/date_time.h"

namespace tallyx {

// Reads the pairs in order; a missing pair counts as 0, and a pair counts as
// the digits it starts with (none: 0). Milliseconds are 0, the year is
// 2000 + YY. A null text reads as the empty text.
DateTime ParseClockText(const char* text);

}  // namespace tallyx

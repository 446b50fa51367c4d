// How the counters store one vehicle: model A in 6 bytes (time of day, flags, speed, length;
// the day of the month in the top bits when date encoding is on), model B in 8 bytes (flags,
// seconds from the study begin, speed and length each as a whole and a fraction byte).
#pragma once

#include <array>
#include <cstdint>

#include "study.h"

namespace tallysim {

std::array<uint8_t, 6> EncodeModelARecord(const Vehicle& vehicle, bool dateEncoding);
std::array<uint8_t, 8> EncodeModelBRecord(const Vehicle& vehicle, int64_t beginMs);

}  // namespace tallysim

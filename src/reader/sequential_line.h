#pragma once
// One vehicle as the reader takes it from a line of the sequential CSV export:
// TimeStamp,Flag,Flag Description,Speed,Length.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "study/civil_time.h"

namespace tallyx {

struct SequentialLine {
    std::optional<study::CivilTime> time;  // nothing when the time stamp cannot be read
    int32_t flag = 0;
    std::string description;
    uint32_t speed = 0;   // miles per hour
    uint32_t length = 0;  // feet

    // Splits a line at its commas; missing columns read as 0 or empty, and a
    // negative speed or length as 0.
    static SequentialLine Parse(std::string_view line);
};

}  // namespace tallyx

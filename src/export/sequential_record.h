#pragma once
// One decoded vehicle, the same for every counter model.
#include <cstdint>

#include "time/date_time.h"

namespace tallyx {

struct SequentialRecord {
    DateTime time;           // full date and time of the vehicle
    uint16_t flags = 0;      // low byte: the counter's flags; high byte: the library's correction flags
    uint8_t speed = 0;       // miles per hour; 0 = no valid speed
    uint8_t length = 0;      // feet; 0 = no valid length
    uint32_t recordNumber = 0;  // 1-based position in the downloaded data, kept when records before it are dropped
};

}  // namespace tallyx

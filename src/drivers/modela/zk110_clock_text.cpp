#include "drivers/modela/zk110_clock_text.h"

#include <cstddef>
#include <cstdint>

namespace tallyx {

DateTime ParseClockText(const char* text) {
    uint32_t fields[6] = {};
    const char* p = text != nullptr ? text : "";
    for (uint32_t& field : fields) {
        size_t pairLength = 0;
        while (pairLength < 2 && p[pairLength] != '\0') ++pairLength;
        for (size_t i = 0; i < pairLength && p[i] >= '0' && p[i] <= '9'; ++i) {
            field = field * 10 + static_cast<uint32_t>(p[i] - '0');
        }
        p += pairLength;
    }
    return DateTime(2000 + fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], 0);
}

}  // namespace tallyx

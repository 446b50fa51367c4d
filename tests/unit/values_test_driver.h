#pragma once
// A stand-in for a model's driver: it owns the property store, the log and
// the statistics a real context would lend the driver, and the model's values.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drivers/modela/zk110_values.h"
#include "drivers/modelb/zk220_values.h"
#include "properties/property_store.h"
#include "support/values_host.h"

namespace tallyx::testing {

template <class ModelValues>
class BasicValuesTestDriver : public test::ValuesHost<ModelValues> {
public:
    void Set(const char* name, const std::string& value) {
        ASSERT_EQ(0, this->Store().Set(name, value.c_str(), false)) << name;
    }
    std::string Get(const char* name) const { return this->Store().Text(name); }
};

using ValuesTestDriver = BasicValuesTestDriver<ZK110Values>;
using ZK220ValuesTestDriver = BasicValuesTestDriver<ZK220Values>;

// One raw vehicle record from its fields, packed the way the counter stores it.
inline std::vector<uint8_t> RawRecord(unsigned day, unsigned hour, unsigned minute, unsigned second, uint8_t flags,
                                      uint8_t speed, uint8_t length) {
    return {static_cast<uint8_t>(((day >> 2) << 5) | hour), static_cast<uint8_t>(((day & 3) << 6) | minute),
            static_cast<uint8_t>(second), flags, speed, length};
}

inline void AppendBytes(std::vector<uint8_t>& data, const std::vector<uint8_t>& bytes) {
    data.insert(data.end(), bytes.begin(), bytes.end());
}

// One 260-byte periodic page.
inline std::vector<uint8_t> PeriodicPage(uint16_t endOffsetMinutes, uint8_t temperature, uint16_t occupancy) {
    std::vector<uint8_t> page(260, 0x00);
    page[0] = static_cast<uint8_t>(endOffsetMinutes >> 8);
    page[1] = static_cast<uint8_t>(endOffsetMinutes & 0xFF);
    page[4] = temperature;
    page[11] = static_cast<uint8_t>(occupancy >> 8);
    page[12] = static_cast<uint8_t>(occupancy & 0xFF);
    return page;
}

inline std::string Text(const DateTime& time) {
    char text[DateTime::kFormatBufferSize];
    time.Format(DTF_DATE | DTF_TIME, text);
    return text;
}

}  // namespace tallyx::testing

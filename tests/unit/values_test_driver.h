#pragma once
// A stand-in for a model's driver: it owns the property store, the log and
// the statistics a real context would lend the driver, and the model's values.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/device_driver.h"
#include "api/device_statistics.h"
#include "comm/comm_log.h"
#include "drivers/modela/zk110_values.h"
#include "drivers/modelb/zk220_values.h"
#include "properties/property_store.h"

namespace tallyx::testing {

// Constructed before the driver part, so its pointers are valid from the start.
struct DriverParts {
    PropertyStore store;
    CommLog log;
    DeviceStatistics stats;
};

template <class ModelValues>
class BasicValuesTestDriver : private DriverParts, public DeviceDriver {
public:
    BasicValuesTestDriver() : DeviceDriver(nullptr, &store, &log, &stats) {
        values = std::make_unique<ModelValues>(this);
    }
    ~BasicValuesTestDriver() override { values.reset(); }

    int32_t Read() override { return 0; }
    int32_t Write() override { return 0; }
    int32_t FirstValue(const char* dataType, const char* format, char* buffer, uint32_t bufferSize) override {
        return values->FirstValue(dataType, format, buffer, bufferSize);
    }
    int32_t NextValue(char* buffer, uint32_t bufferSize) override { return values->NextValue(buffer, bufferSize); }
    uint32_t LoadRequestDelay() override { return requestDelayMs; }

    ModelValues& Values() { return static_cast<ModelValues&>(*values); }
    PropertyStore& Store() { return store; }
    DeviceStatistics& Stats() { return stats; }

    void Set(const char* name, const std::string& value) { ASSERT_EQ(0, store.Set(name, value.c_str(), false)) << name; }
    std::string Get(const char* name) const { return store.Text(name); }
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

#pragma once
// Just enough of a driver to own a model's values object and lend it the
// property store, the log and the statistics a context would. Tests,
// benchmarks and fuzz targets use it to drive record processing and the value
// export without a port.
#include <cstdint>
#include <memory>

#include "api/device_driver.h"
#include "api/device_statistics.h"
#include "api/device_values.h"
#include "comm/comm_log.h"
#include "properties/property_store.h"

namespace tallyx::test {

// Constructed before the driver part, so its pointers are valid from the start.
struct ValuesHostParts {
    PropertyStore store;
    CommLog log;
    DeviceStatistics stats{};
};

template <class ModelValues>
class ValuesHost : protected ValuesHostParts, public DeviceDriver {
public:
    ValuesHost() : DeviceDriver(nullptr, &store, &log, &stats) { values = std::make_unique<ModelValues>(this); }
    ~ValuesHost() override { values.reset(); }

    int32_t Read() override { return 0; }
    int32_t Write() override { return 0; }
    int32_t FirstValue(const char* kind, const char* format, char* buffer, uint32_t size) override {
        return values->FirstValue(kind, format, buffer, size);
    }
    int32_t NextValue(char* buffer, uint32_t size) override { return values->NextValue(buffer, size); }
    uint32_t LoadRequestDelay() override { return requestDelayMs; }

    ModelValues& Values() { return static_cast<ModelValues&>(*values); }
    PropertyStore& Store() { return store; }
    const PropertyStore& Store() const { return store; }
    DeviceStatistics& Stats() { return stats; }
};

}  // namespace tallyx::test

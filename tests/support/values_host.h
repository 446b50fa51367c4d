#pragma once
// A model's values object with the property store, the log and the statistics
// a context would lend it. Tests, benchmarks and fuzz targets use it to drive
// record processing and the value export without a port.
#include <cstdint>
#include <memory>

#include "comm/comm_log.h"
#include "device/device_statistics.h"
#include "device/device_values.h"
#include "properties/property_store.h"

namespace tallyx::test {

// Constructed before the values, so its pointers are valid from the start.
struct ValuesHostParts {
    PropertyStore store;
    CommLog log;
    DeviceStatistics stats{};
};

template <class ModelValues>
class ValuesHost : protected ValuesHostParts {
public:
    ValuesHost() : values_(ValuesContext{&store, &log, &stats}) {}

    int32_t FirstValue(const char* kind, const char* format, char* buffer, uint32_t size) {
        return values_.FirstValue(kind, format, buffer, size);
    }
    int32_t NextValue(char* buffer, uint32_t size) { return values_.NextValue(buffer, size); }

    ModelValues& Values() { return values_; }
    PropertyStore& Store() { return store; }
    const PropertyStore& Store() const { return store; }
    DeviceStatistics& Stats() { return stats; }
    CommLog& Log() { return log; }

private:
    ModelValues values_;
};

// Walks both kinds of records in CSV through a buffer of csvSize bytes and in
// XML through one of 4096, going on past lines that do not fit; for fuzzing
// the export with whatever the records hold.
template <class Host>
void WalkEveryExport(Host& host, uint32_t csvSize) {
    const struct {
        const char* kind;
        const char* format;
        uint32_t size;
    } walks[] = {
        {"GETVALUE_DATA_SEQUENTIAL", "GETVALUE_FORMAT_CSV", csvSize},
        {"GETVALUE_DATA_PERIODIC", "GETVALUE_FORMAT_CSV", csvSize},
        {"GETVALUE_DATA_SEQUENTIAL", "GETVALUE_FORMAT_XML", 4096},
        {"GETVALUE_DATA_PERIODIC", "GETVALUE_FORMAT_XML", 4096},
    };
    for (const auto& walk : walks) {
        std::unique_ptr<char[]> buffer(new char[walk.size]);
        int32_t result = host.FirstValue(walk.kind, walk.format, buffer.get(), walk.size);
        for (int lines = 0; (result == 0 || result == -101) && lines < 100000; ++lines) {
            result = host.NextValue(buffer.get(), walk.size);
        }
    }
}

}  // namespace tallyx::test

#pragma once
// The interface of a counter model's driver: all the context knows of it. The
// context creates the driver of the detected model from the parts it lends,
// runs one read or write, and then walks the values through it.
#include <cstdint>
#include <memory>

#include <tallyx/tallyx.h>

#include "device/device_values.h"

namespace tallyx {

class PortLink;
class PropertyStore;
class CommLog;
struct DeviceStatistics;

// What a context lends the driver of its counter: the caller's callbacks and
// the handle they are called with, and the context's transfer layer,
// properties, log and statistics, which the driver uses and never frees.
struct DriverParts {
    ProgressCallback progressCallback;
    PromptCallback promptCallback;
    TallyxHandle contextHandle;
    PortLink* link;
    PropertyStore* properties;
    CommLog* commLog;
    DeviceStatistics* statistics;
};

class DeviceDriver {
public:
    virtual ~DeviceDriver() = default;

    DeviceDriver(const DeviceDriver&) = delete;
    DeviceDriver& operator=(const DeviceDriver&) = delete;

    virtual int32_t Read() = 0;
    virtual int32_t Write() = 0;
    // The walks of GetFirstValue and GetNextValue over the values.
    virtual int32_t FirstValue(const char* dataType, const char* format, char* buffer, uint32_t bufferSize) = 0;
    virtual int32_t NextValue(char* buffer, uint32_t bufferSize) = 0;

protected:
    explicit DeviceDriver(const DriverParts& parts)
        : progressCallback(parts.progressCallback), promptCallback(parts.promptCallback),
          contextHandle(parts.contextHandle), link(parts.link), properties(parts.properties),
          commLog(parts.commLog), statistics(parts.statistics) {}

    const ProgressCallback progressCallback;
    const PromptCallback promptCallback;
    const TallyxHandle contextHandle;
    PortLink* const link;
    PropertyStore* const properties;
    CommLog* const commLog;
    DeviceStatistics* const statistics;
    // Created by the model's driver; freed with the driver.
    std::unique_ptr<DeviceValues> values;
    // The step last passed to the progress callback.
    uint32_t progressStep = 0;
    // The pause between requests, loaded at the start of each operation.
    uint32_t requestDelayMs = 0;
};

}  // namespace tallyx

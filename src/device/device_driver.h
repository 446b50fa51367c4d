#pragma once
// The interface every counter model's driver implements. The context creates
// the driver of the detected model and then uses it only through this class.
#include <cstdint>
#include <memory>

#include <tallyx/tallyx.h>

namespace tallyx {

class PortLink;
class PropertyStore;
class CommLog;
struct DeviceStatistics;
class DeviceValues;

class DeviceDriver {
public:
    // The concrete driver creates its values object in its own constructor.
    DeviceDriver(PortLink* link, PropertyStore* properties, CommLog* commLog, DeviceStatistics* statistics);
    virtual ~DeviceDriver();

    DeviceDriver(const DeviceDriver&) = delete;
    DeviceDriver& operator=(const DeviceDriver&) = delete;

    virtual int32_t Read() = 0;
    virtual int32_t Write() = 0;
    // Both walk the values object.
    virtual int32_t FirstValue(const char* dataType, const char* format, char* buffer, uint32_t bufferSize);
    virtual int32_t NextValue(char* buffer, uint32_t bufferSize);
    // Called after the caller has read a property; the result is ignored.
    virtual int32_t OnGetProperty(const char* name, char* buffer, uint32_t bufferSize);
    // Loads requestDelayMs from the pause between requests of the properties.
    virtual uint32_t LoadRequestDelay();

    ProgressCallback progressCallback = nullptr;
    PromptCallback promptCallback = nullptr;
    TallyxHandle contextHandle = nullptr;
    PortLink* link;
    PropertyStore* properties;
    CommLog* commLog;
    DeviceStatistics* statistics;
    std::unique_ptr<DeviceValues> values;
    uint32_t progressStep = 0;
    uint32_t requestDelayMs = 0;

protected:
    void Pause(uint32_t milliseconds) const;
    // One progress step: 0, or RETCODE_ABORTED when the caller asked to stop.
    int32_t StepProgress();
};

}  // namespace tallyx

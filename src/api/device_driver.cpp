#include "device/device_driver.h"

#include <chrono>
#include <thread>

#include "device/device_values.h"
#include "comm/comm_log.h"
#include "properties/property_store.h"

namespace tallyx {

DeviceDriver::DeviceDriver(PortLink* link, PropertyStore* properties, CommLog* commLog,
                           DeviceStatistics* statistics)
    : link(link), properties(properties), commLog(commLog), statistics(statistics) {}

DeviceDriver::~DeviceDriver() = default;

int32_t DeviceDriver::OnGetProperty(const char*, char*, uint32_t) { return RETCODE_OK; }

int32_t DeviceDriver::FirstValue(const char* dataType, const char* format, char* buffer, uint32_t bufferSize) {
    return values ? values->FirstValue(dataType, format, buffer, bufferSize) : RETCODE_ERR_BADDATATYPE;
}

int32_t DeviceDriver::NextValue(char* buffer, uint32_t bufferSize) {
    return values ? values->NextValue(buffer, bufferSize) : RETCODE_ERR_ITERNOTINITIALIZED;
}

uint32_t DeviceDriver::LoadRequestDelay() {
    const int32_t delay = properties->Number(PROPERTY_COMM_WAITBETWEENREQSMS);
    requestDelayMs = delay > 0 ? static_cast<uint32_t>(delay) : 0;
    return requestDelayMs;
}

void DeviceDriver::Pause(uint32_t milliseconds) const {
    if (milliseconds != 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int32_t DeviceDriver::StepProgress() {
    if (progressCallback == nullptr) return RETCODE_OK;
    ++progressStep;
    if (progressCallback(contextHandle, progressStep) == 1) {
        commLog->LogWarning("Operation was aborted by the user!");
        return RETCODE_ABORTED;
    }
    return RETCODE_OK;
}

}  // namespace tallyx

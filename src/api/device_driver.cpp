#include "api/device_driver.h"

#include "api/device_values.h"

namespace tallyx {

DeviceDriver::DeviceDriver(PortLink* link, PropertyStore* properties, CommLog* commLog,
                           DeviceStatistics* statistics)
    : link(link), properties(properties), commLog(commLog), statistics(statistics) {}

DeviceDriver::~DeviceDriver() = default;

int32_t DeviceDriver::OnGetProperty(const char*, char*, uint32_t) { return RETCODE_OK; }

}  // namespace tallyx

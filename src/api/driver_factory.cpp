#include "api/driver_factory.h"

#include <cstdio>

#include "drivers/modela/zk110_driver.h"
#include "drivers/modelb/zk220_driver.h"
#include "properties/property_store.h"

namespace tallyx {

std::unique_ptr<DeviceDriver> CreateDriver(CounterModel model, PortLink* link, PropertyStore* properties,
                                           CommLog* commLog, DeviceStatistics* statistics) {
    switch (model) {
        case CounterModel::kZK110:
            return std::make_unique<ZK110Driver>(link, properties, commLog, statistics);
        case CounterModel::kZK220:
            return std::make_unique<ZK220Driver>(link, properties, commLog, statistics);
    }
    return nullptr;
}

void PortNameFromProperties(const PropertyStore& properties, char* name, size_t size) {
    int32_t usbPort = properties.Number(PROPERTY_USBX_PORT);
    if (usbPort != 0) {
        std::snprintf(name, size, "USBX%ld", static_cast<long>(usbPort));
    } else {
        std::snprintf(name, size, "COM%ld", static_cast<long>(properties.Number(PROPERTY_COMM_PORT)));
    }
}

}  // namespace tallyx

#pragma once
// Creates the driver of a detected counter model, and the settings both the
// connection and the drivers' re-wake take from the properties.
#include <cstddef>
#include <memory>

#include "api/device_driver.h"

namespace tallyx {

enum class CounterModel { kZK110, kZK220 };

std::unique_ptr<DeviceDriver> CreateDriver(CounterModel model, PortLink* link, PropertyStore* properties,
                                           CommLog* commLog, DeviceStatistics* statistics);

// "USBX<n>" when PROPERTY_USBX_PORT is not 0, else "COM<n>" from PROPERTY_COMM_PORT.
void PortNameFromProperties(const PropertyStore& properties, char* name, size_t size);

}  // namespace tallyx

#include "properties/port_name.h"

#include <cstdio>

#include <tallyx/tallyx.h>

#include "properties/property_store.h"

namespace tallyx {

void PortNameFromProperties(const PropertyStore& properties, char* name, size_t size) {
    const int32_t usbPort = properties.Number(PROPERTY_USBX_PORT);
    if (usbPort != 0) {
        std::snprintf(name, size, "USBX%ld", static_cast<long>(usbPort));
    } else {
        std::snprintf(name, size, "COM%ld", static_cast<long>(properties.Number(PROPERTY_COMM_PORT)));
    }
}

}  // namespace tallyx

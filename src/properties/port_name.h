#pragma once
// The name of the port a context's properties select, for the connection and
// for waking the counter again.
#include <cstddef>

namespace tallyx {

class PropertyStore;

// "USBX<n>" when PROPERTY_USBX_PORT is not 0, else "COM<n>" from PROPERTY_COMM_PORT.
void PortNameFromProperties(const PropertyStore& properties, char* name, size_t size);

}  // namespace tallyx

#pragma once
// Conversion of property values between the caller's metric units and the US
// units the store keeps: the speed limit, the speed bins and the length bins.
#include <cstdint>

#include "properties/property_descriptor.h"

namespace tallyx {

// Both convert the null-terminated text in place, within a buffer of bufferSize
// bytes (terminating null included). They return 0, or
// RETCODE_ERR_BUFFERTOOSMALL when the converted text does not fit; the buffer
// then holds a shorter, still terminated text. Values of kind None, and empty
// values, are left as they are.
int32_t ConvertToStoredUnits(UnitKind kind, char* text, uint32_t bufferSize);
int32_t ConvertToCallerUnits(UnitKind kind, char* text, uint32_t bufferSize);

}  // namespace tallyx

#pragma once
// The checks a caller's value must pass before the store accepts it.
#include <cstdint>

#include "properties/property_descriptor.h"

namespace tallyx {

// 0 when the caller may store the value, otherwise the return code that
// refuses it (-11 invalid, -12 too long, -22 bins out of sequence).
int32_t ValidateCallerValue(const PropertyDescriptor& descriptor, const char* value);

// True for exactly "YYYY-MM-DD hh:mm:ss.fff" with digits in every numeric place;
// the ranges of the fields are not checked.
bool HasDateTimeForm(const char* value);

}  // namespace tallyx

#pragma once
// The statistics of a context as the small XML document callers read as the
// value of PROPERTY_DEV_STATISTICS.
#include <cstdint>

#include "device/device_statistics.h"

namespace tallyx {

// Size of the working buffer the document is built in before it is stored as
// the property; the document itself is at most 263 characters.
constexpr uint32_t kStatisticsDocumentCapacity = 1024;

// Writes the one-line document into `buffer`, which holds at most `capacity`
// - 1 characters. Returns RETCODE_OK, or RETCODE_ERR_BUFFERTOOSMALL when it
// does not fit.
int32_t BuildStatisticsDocument(const DeviceStatistics& statistics, char* buffer, uint32_t capacity);

}  // namespace tallyx

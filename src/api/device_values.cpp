#include "api/device_values.h"

#include <tallyx/tallyx.h>

namespace tallyx {

void DeviceValues::Clear() {
    position = -1;
    dataKind = kNoData;
    format = kNoFormat;
    metricOutput = 1;
}

// Replaced by the study validation once the date type and bin lists exist.
int32_t DeviceValues::ValidateStudy() { return RETCODE_OK; }

}  // namespace tallyx

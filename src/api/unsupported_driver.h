#pragma once
// The driver of a model that was recognised but cannot be served by this
// build: every device operation fails with RETCODE_ERR_NOTIMPLEMENTED and
// there are no values.
#include "api/device_driver.h"

namespace tallyx {

class UnsupportedDriver : public DeviceDriver {
public:
    UnsupportedDriver(const char* model, PortLink* link, PropertyStore* properties, CommLog* commLog,
                      DeviceStatistics* statistics);

    int32_t Read() override;
    int32_t Write() override;
    int32_t FirstValue(const char* dataType, const char* format, char* buffer, uint32_t bufferSize) override;
    int32_t NextValue(char* buffer, uint32_t bufferSize) override;
    uint32_t LoadRequestDelay() override;

private:
    int32_t Refuse();
    const char* model_;
};

}  // namespace tallyx

#include "api/unsupported_driver.h"

#include "comm/comm_log.h"
#include "properties/property_store.h"

namespace tallyx {

UnsupportedDriver::UnsupportedDriver(const char* model, PortLink* link, PropertyStore* properties, CommLog* commLog,
                                     DeviceStatistics* statistics)
    : DeviceDriver(link, properties, commLog, statistics), model_(model) {}

int32_t UnsupportedDriver::Refuse() {
    commLog->LogError("The %s device is not supported by this version of the library", model_);
    return RETCODE_ERR_NOTIMPLEMENTED;
}

int32_t UnsupportedDriver::Read() { return Refuse(); }

int32_t UnsupportedDriver::Write() { return Refuse(); }

int32_t UnsupportedDriver::FirstValue(const char*, const char*, char*, uint32_t) { return RETCODE_NOMOREVALUES; }

int32_t UnsupportedDriver::NextValue(char*, uint32_t) { return RETCODE_NOMOREVALUES; }

uint32_t UnsupportedDriver::LoadRequestDelay() {
    requestDelayMs = static_cast<uint32_t>(properties->Number(PROPERTY_COMM_WAITBETWEENREQSMS));
    return requestDelayMs;
}

}  // namespace tallyx

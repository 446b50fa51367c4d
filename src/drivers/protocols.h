#pragma once
// The counter session of a detected model: its row of the model table paired
// with the model's protocol.
#include <memory>

#include "drivers/counter_models.h"

namespace tallyx {

class DeviceDriver;
class PortLink;
class PropertyStore;
class CommLog;
struct DeviceStatistics;

std::unique_ptr<DeviceDriver> CreateCounterSession(const CounterModelInfo& model, PortLink* link,
                                                   PropertyStore* properties, CommLog* commLog,
                                                   DeviceStatistics* statistics);

}  // namespace tallyx

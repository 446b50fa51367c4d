// The registry of drivers: every row of the table of models paired with its
// model's driver class, one line a model.
#include <string_view>

#include "drivers/counter_driver.h"
#include "drivers/modela/zk110_driver.h"
#include "drivers/modelb/zk220_driver.h"

namespace tallyx {

namespace {

template <class ModelDriver>
std::unique_ptr<DeviceDriver> Create(const DriverParts& parts) {
    return std::make_unique<ModelDriver>(parts);
}

struct DriverEntry {
    const CounterModelInfo& model;
    std::unique_ptr<DeviceDriver> (*create)(const DriverParts&);
};

// One line a model, in the order of the table of models.
constexpr DriverEntry kDrivers[] = {
    {kZK110Model, &Create<ZK110Driver>},
    {kZK220Model, &Create<ZK220Driver>},
};

constexpr bool EveryModelHasItsDriver() {
    if (std::size(kDrivers) != std::size(kCounterModels)) return false;
    for (size_t i = 0; i < std::size(kDrivers); ++i) {
        if (std::string_view(kDrivers[i].model.name) != kCounterModels[i].name) return false;
    }
    return true;
}
static_assert(EveryModelHasItsDriver(), "every row of the table of models needs its driver here, in the same order");

}  // namespace

std::unique_ptr<DeviceDriver> CounterDriver::Create(const CounterModelInfo& model, const DriverParts& parts) {
    for (size_t row = 0; row < std::size(kDrivers); ++row) {
        if (&kCounterModels[row] == &model) return kDrivers[row].create(parts);
    }
    return nullptr;
}

}  // namespace tallyx

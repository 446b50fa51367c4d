#include "drivers/protocols.h"

#include <string_view>

#include "drivers/modela/zk110_protocol.h"
#include "drivers/modelb/zk220_protocol.h"

namespace tallyx {

namespace {

template <class Protocol>
std::unique_ptr<DeviceDriver> Create(const CounterModelInfo& model, PortLink* link, PropertyStore* properties,
                                     CommLog* commLog, DeviceStatistics* statistics) {
    return std::make_unique<Protocol>(CounterSession::Parts{model, link, properties, commLog, statistics});
}

struct ProtocolEntry {
    const char* model;  // the name of its row in the model table
    std::unique_ptr<DeviceDriver> (*create)(const CounterModelInfo&, PortLink*, PropertyStore*, CommLog*,
                                            DeviceStatistics*);
};

// One line a model, in the order of the model table.
constexpr ProtocolEntry kProtocols[] = {
    {"ZK110", &Create<ZK110Protocol>},
    {"ZK220", &Create<ZK220Protocol>},
};

constexpr bool EveryModelHasItsProtocol() {
    if (std::size(kProtocols) != std::size(kCounterModels)) return false;
    for (size_t i = 0; i < std::size(kProtocols); ++i) {
        if (std::string_view(kProtocols[i].model) != kCounterModels[i].name) return false;
    }
    return true;
}
static_assert(EveryModelHasItsProtocol(), "every row of the model table needs its protocol here, in the same order");

}  // namespace

std::unique_ptr<DeviceDriver> CreateCounterSession(const CounterModelInfo& model, PortLink* link,
                                                   PropertyStore* properties, CommLog* commLog,
                                                   DeviceStatistics* statistics) {
    const size_t row = static_cast<size_t>(&model - kCounterModels);
    if (row >= std::size(kProtocols)) return nullptr;
    return kProtocols[row].create(model, link, properties, commLog, statistics);
}

}  // namespace tallyx

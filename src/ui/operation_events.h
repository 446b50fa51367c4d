#pragma once
// The operations as server-sent events: the whole snapshot again each time it
// changed ("event: operations"), never more often than the client takes them.
#include <cstdint>

#include "server/event_stream.h"
#include "ui/counter_operations.h"

namespace tallyx::ui {

class OperationEvents : public server::EventStream {
public:
    explicit OperationEvents(CounterOperations& operations) : operations_(operations) {}
    ~OperationEvents() override;

    void Watch(std::function<void()> wake) override;
    bool Take(std::string& text) override;

private:
    CounterOperations& operations_;
    ChangeFeed::Id subscription_ = 0;
    uint64_t sent_ = 0;
};

}  // namespace tallyx::ui

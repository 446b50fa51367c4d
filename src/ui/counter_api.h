#pragma once
// The application's API for counters: the ports and what answers on each,
// the operations (probe, read, program, discharge) with their progress as a
// snapshot or as server-sent events, cancelling them and answering their
// low-battery question, and the check of a study form.
#include <optional>

#include "server/http_message.h"
#include "ui/counter_operations.h"

namespace tallyx::ui {

class CounterApi {
public:
    explicit CounterApi(CounterOperations& operations) : operations_(operations) {}

    // The answer to a request under /api/ that this API serves; nothing for another path.
    std::optional<server::Response> Handle(const server::Request& request);

private:
    server::Response Ports();
    server::Response Probe(const server::Request& request);
    server::Response Read(const server::Request& request);
    server::Response CheckStudy(const server::Request& request, bool program);
    server::Response Discharge(const server::Request& request);
    server::Response Control(const server::Request& request, bool cancel);
    server::Response Events();
    server::Response Started(CounterOperations::Start start, uint32_t com);

    CounterOperations& operations_;
};

}  // namespace tallyx::ui

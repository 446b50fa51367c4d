#pragma once
// The browser application behind tallyx ui: every request is checked by the
// access guard first, then served from the pages compiled into the program or
// by the counter and archive APIs. Runs on the server's thread.
#include <string>

#include "server/access_guard.h"
#include "server/http_message.h"
#include "ui/archive_api.h"
#include "ui/counter_api.h"

namespace tallyx::ui {

class UiApplication {
public:
    UiApplication(CounterOperations& operations, std::string archiveOption, server::AccessGuard guard);

    server::Response Handle(const server::Request& request);

private:
    server::Response Page(const server::Request& request);

    server::AccessGuard guard_;
    CounterApi counters_;
    ArchiveApi archive_;
};

}  // namespace tallyx::ui

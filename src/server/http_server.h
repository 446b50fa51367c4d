#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the browser application: one thread
// serves every connection; the handler answers each request on that thread
// and must not wait on a counter. Requests are bounded (header and body size,
// time to arrive, connections at once); a request that breaks the bounds or
// HTTP itself gets 400 and the connection is closed. Answers with an event
// stream keep their connection open for server-sent events.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "server/http_message.h"

namespace tallyx::server {

struct ServerLimits {
    size_t bodyBytes = 64 * 1024;
    size_t headerBytes = 8 * 1024;
    size_t connections = 256;
    // How long a request may take to arrive, and a connection may stay idle between requests.
    std::chrono::seconds idle{20};
};

class HttpServer {
public:
    using Handler = std::function<Response(const Request&)>;

    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on 127.0.0.1:port (0: a free port the system picks) and serves on a
    // thread of its own; false with the reason in error.
    bool Start(uint16_t port, Handler handler, std::string& error, ServerLimits limits = {});
    uint16_t Port() const;
    // Stops listening, closes every connection and ends the thread.
    void Stop();

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace tallyx::server

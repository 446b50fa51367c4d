#pragma once
// A request as the application sees it and the answer it gives: plain data,
// so that nothing outside the server's own files knows the HTTP library.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/event_stream.h"

namespace tallyx::server {

struct Request {
    std::string method;  // "GET", "POST", ...
    std::string target;  // as sent: "/api/studies?site=3"
    std::string path;    // the target before '?', percent escapes undone
    std::vector<std::pair<std::string, std::string>> query;  // decoded names and values
    std::string host;         // the Host header
    std::string origin;       // the Origin header, when sent
    std::string cookie;       // the Cookie header
    std::string tokenHeader;  // the X-Tallyx-Token header
    std::string contentType;
    std::string body;

    // A query value; fallback when the name is not there.
    std::string Query(std::string_view name, std::string_view fallback = "") const;
    bool HasQuery(std::string_view name) const;
};

struct Response {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // extra headers
    // A stream of server-sent events instead of a body: the connection stays open
    // and sends what the stream gives until it ends or the client goes.
    std::shared_ptr<EventStream> stream;

    static Response Json(int status, std::string body);
    // {"error": message, "field": field} (no "field" when empty).
    static Response Error(int status, const std::string& message, const std::string& field = "");
};

// Splits a request target into its path and its query; false for a target
// that is not an origin-form path or whose escapes are broken.
bool SplitTarget(std::string_view target, std::string& path, std::vector<std::pair<std::string, std::string>>& query);

}  // namespace tallyx::server

#include "server/http_message.h"

#include "json/json_value.h"

namespace tallyx::server {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent escapes undone ('+' is a blank in a query); false for a broken escape.
bool Decode(std::string_view text, bool query, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) return false;
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high < 0 || low < 0) return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+' && query) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return true;
}

}  // namespace

std::string Request::Query(std::string_view name, std::string_view fallback) const {
    for (const auto& [key, value] : query)
        if (key == name) return value;
    return std::string(fallback);
}

bool Request::HasQuery(std::string_view name) const {
    for (const auto& entry : query)
        if (entry.first == name) return true;
    return false;
}

Response Response::Json(int status, std::string body) {
    Response response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

Response Response::Error(int status, const std::string& message, const std::string& field) {
    json::Value error = json::Value::Object();
    error.Set("error", json::Value::String(message));
    if (!field.empty()) error.Set("field", json::Value::String(field));
    return Json(status, json::Write(error));
}

bool SplitTarget(std::string_view target, std::string& path, std::vector<std::pair<std::string, std::string>>& query) {
    query.clear();
    if (target.empty() || target.front() != '/') return false;
    const size_t mark = target.find('?');
    if (!Decode(target.substr(0, mark), false, path)) return false;
    // A path that climbs or carries a NUL is no path of this server.
    if (path.find('\0') != std::string::npos || path.find("..") != std::string::npos) return false;
    if (mark == std::string_view::npos) return true;
    std::string_view rest = target.substr(mark + 1);
    while (!rest.empty()) {
        const size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        if (pair.empty()) continue;
        const size_t equals = pair.find('=');
        std::string name, value;
        if (!Decode(pair.substr(0, equals), true, name)) return false;
        if (equals != std::string_view::npos && !Decode(pair.substr(equals + 1), true, value)) return false;
        query.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

}  // namespace tallyx::server

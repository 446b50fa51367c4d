#include "server/access_guard.h"

#include <cctype>
#include <string_view>

#include "server/access_token.h"

namespace tallyx::server {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

AccessVerdict Refuse(int status, std::string reason) {
    AccessVerdict verdict;
    verdict.status = status;
    verdict.reason = std::move(reason);
    return verdict;
}

}  // namespace

AccessGuard::AccessGuard(std::string token, uint16_t port)
    : token_(std::move(token)), port_(port), cookieName_("tallyx_" + std::to_string(port)) {}

bool AccessGuard::HostAllowed(const std::string& host) const {
    const std::string port = ":" + std::to_string(port_);
    const std::string lower = Lower(host);
    return lower == "127.0.0.1" + port || lower == "localhost" + port;
}

bool AccessGuard::CookieCarriesToken(const std::string& cookie) const {
    std::string_view rest(cookie);
    bool found = false;
    while (!rest.empty()) {
        const size_t semicolon = rest.find(';');
        const std::string_view pair = Trim(rest.substr(0, semicolon));
        rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
        const size_t equals = pair.find('=');
        if (equals == std::string_view::npos || Trim(pair.substr(0, equals)) != cookieName_) continue;
        // Every cookie of that name must carry the token (each is compared fully).
        if (!SameToken(Trim(pair.substr(equals + 1)), token_)) return false;
        found = true;
    }
    return found;
}

AccessVerdict AccessGuard::Check(const Request& request) const {
    if (!HostAllowed(request.host))
        return Refuse(403, "this server answers only to 127.0.0.1:" + std::to_string(port_) + " and localhost:" +
                               std::to_string(port_));
    const bool post = request.method == "POST";
    if (!post && request.method != "GET")
        return Refuse(405, "only GET and POST are served here");
    const bool queryToken = request.HasQuery("token");
    const bool byQuery = queryToken && SameToken(request.Query("token"), token_);
    if (queryToken && !byQuery) return Refuse(403, "the token in the address is not this server's");
    const bool byCookie = CookieCarriesToken(request.cookie);
    if (!byQuery && !byCookie)
        return Refuse(403, "open the address tallyx ui printed (with its token): this request carries no token");
    if (post) {
        if (!SameToken(request.tokenHeader, token_))
            return Refuse(403, "a request that changes anything needs the token in the X-Tallyx-Token header");
        if (!request.origin.empty()) {
            const std::string origin = Lower(request.origin);
            const std::string port = ":" + std::to_string(port_);
            if (origin != "http://127.0.0.1" + port && origin != "http://localhost" + port)
                return Refuse(403, "a request from another site (" + request.origin + ") is refused");
        }
    }
    AccessVerdict verdict;
    verdict.allowed = true;
    verdict.status = 200;
    verdict.setCookie = byQuery;
    return verdict;
}

std::string AccessGuard::CookieHeader() const {
    return cookieName_ + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict";
}

}  // namespace tallyx::server

#pragma once
// Who may use the application, checked before any request is handled:
//   - the Host header must name this server as 127.0.0.1:PORT or localhost:PORT,
//     so that a name rebound to 127.0.0.1 by another site's DNS gets nothing;
//   - every request carries the token: in the query of the first page (which
//     then sets a cookie, HttpOnly and SameSite=Strict) or in that cookie;
//   - a request that changes anything is a POST with the token in the
//     X-Tallyx-Token header, which no cross-site form or link can send, and an
//     Origin, when the browser sends one, of this server.
#include <cstdint>
#include <string>

#include "server/http_message.h"

namespace tallyx::server {

struct AccessVerdict {
    bool allowed = false;
    bool setCookie = false;  // the token came in the query: answer with the cookie
    int status = 403;
    std::string reason;
};

class AccessGuard {
public:
    AccessGuard(std::string token, uint16_t port);

    AccessVerdict Check(const Request& request) const;
    // The Set-Cookie value that carries the token.
    std::string CookieHeader() const;
    const std::string& Token() const { return token_; }
    // The cookie's name: one per port, since browsers keep cookies per host, not per port.
    const std::string& CookieName() const { return cookieName_; }

private:
    bool HostAllowed(const std::string& host) const;
    bool CookieCarriesToken(const std::string& cookie) const;

    std::string token_;
    uint16_t port_;
    std::string cookieName_;
};

}  // namespace tallyx::server

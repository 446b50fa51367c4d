// The browser application's server on its own: request targets, the access
// guard's rules, and the HTTP server in this process with requests that break
// its bounds, an event stream, and a stop while connections are open (run
// under the sanitizers in CI, which the end-to-end tests of tallyx ui are not).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "json/json_value.h"
#include "server/access_guard.h"
#include "server/access_token.h"
#include "server/http_server.h"

namespace tallyx::server {
namespace {

TEST(RequestTargetTest, PathsAndQueriesAreDecodedAndClimbingIsRefused) {
    struct Case {
        const char* target;
        bool ok;
        const char* path;
        const char* query;  // name=value of the first pair
    } cases[] = {
        {"/", true, "/", ""},
        {"/api/studies?site=Main+St&from=2026-01-01", true, "/api/studies", "site=Main St"},
        {"/api/studies?site=%3Cb%3E", true, "/api/studies", "site=<b>"},
        {"/a%20b", true, "/a b", ""},
        {"/api/studies/1/files/../x", false, "", ""},
        {"/%2e%2e/etc/passwd", false, "", ""},
        {"/a%00b", false, "", ""},
        {"/bad%zz", false, "", ""},
        {"/bad%2", false, "", ""},
        {"http://evil/", false, "", ""},
        {"", false, "", ""},
        {"/?flag", true, "/", "flag="},
    };
    for (const Case& c : cases) {
        std::string path;
        std::vector<std::pair<std::string, std::string>> query;
        ASSERT_EQ(SplitTarget(c.target, path, query), c.ok) << c.target;
        if (!c.ok) continue;
        EXPECT_EQ(path, c.path) << c.target;
        const std::string first = query.empty() ? "" : query[0].first + "=" + query[0].second;
        EXPECT_EQ(first, c.query) << c.target;
    }
}

TEST(AccessGuardTest, TokenCookieHostAndPostRules) {
    const std::string token = NewAccessToken();
    ASSERT_EQ(token.size(), 32u);
    EXPECT_NE(token, NewAccessToken());
    const AccessGuard guard(token, 8123);
    const std::string cookie = "tallyx_8123=" + token;
    struct Case {
        const char* method;
        std::string target, host, cookie, header, origin;
        int status;  // 200: allowed
        bool setCookie;
    } cases[] = {
        {"GET", "/?token=" + token, "127.0.0.1:8123", "", "", "", 200, true},
        {"GET", "/?token=" + token, "LOCALHOST:8123", "", "", "", 200, true},
        {"GET", "/?token=" + std::string(32, '0'), "127.0.0.1:8123", cookie, "", "", 403, false},
        {"GET", "/api/ports", "127.0.0.1:8123", cookie, "", "", 200, false},
        {"GET", "/api/ports", "127.0.0.1:8123", "a=b; " + cookie + "; c=d", "", "", 200, false},
        {"GET", "/api/ports", "127.0.0.1:8123", "tallyx_8124=" + token, "", "", 403, false},
        {"GET", "/api/ports", "127.0.0.1:8123", cookie + "; tallyx_8123=x", "", "", 403, false},
        {"GET", "/api/ports", "127.0.0.1:8123", "", "", "", 403, false},
        {"GET", "/api/ports", "evil.example:8123", cookie, "", "", 403, false},
        {"GET", "/api/ports", "127.0.0.1", cookie, "", "", 403, false},
        {"GET", "/api/ports", "127.0.0.1:81234", cookie, "", "", 403, false},
        {"POST", "/api/read", "127.0.0.1:8123", cookie, token, "", 200, false},
        {"POST", "/api/read", "127.0.0.1:8123", cookie, token, "http://localhost:8123", 200, false},
        {"POST", "/api/read", "127.0.0.1:8123", cookie, "", "", 403, false},
        {"POST", "/api/read", "127.0.0.1:8123", cookie, token.substr(1), "", 403, false},
        {"POST", "/api/read", "127.0.0.1:8123", cookie, token, "http://evil.example", 403, false},
        {"PUT", "/api/read", "127.0.0.1:8123", cookie, token, "", 405, false},
        {"HEAD", "/", "127.0.0.1:8123", cookie, "", "", 405, false},
    };
    for (const Case& c : cases) {
        Request request;
        request.method = c.method;
        ASSERT_TRUE(SplitTarget(c.target, request.path, request.query));
        request.host = c.host;
        request.cookie = c.cookie;
        request.tokenHeader = c.header;
        request.origin = c.origin;
        const AccessVerdict verdict = guard.Check(request);
        EXPECT_EQ(verdict.allowed ? 200 : verdict.status, c.status) << c.method << " " << c.target << " " << c.host;
        EXPECT_EQ(verdict.setCookie, c.setCookie) << c.target;
    }
    EXPECT_EQ(guard.CookieHeader(), cookie + "; Path=/; HttpOnly; SameSite=Strict");
}

// An event stream that sends one event each time the test says so.
class TickStream : public EventStream {
public:
    explicit TickStream(std::atomic<int>& ticks) : ticks_(ticks) {}
    void Watch(std::function<void()> wake) override {
        std::lock_guard<std::mutex> lock(lock_);
        wake_ = std::move(wake);
    }
    bool Take(std::string& text) override {
        const int now = ticks_.load();
        text = now == sent_ ? "" : "data: " + std::to_string(now) + "\n\n";
        sent_ = now;
        return true;
    }
    void Wake() {
        std::lock_guard<std::mutex> lock(lock_);
        if (wake_) wake_();
    }

private:
    std::atomic<int>& ticks_;
    int sent_ = -1;
    std::mutex lock_;
    std::function<void()> wake_;
};

int Connect(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// Sends the bytes, closes the sending side, and returns everything the server answers.
std::string Exchange(uint16_t port, const std::string& bytes) {
    const int fd = Connect(port);
    EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    shutdown(fd, SHUT_WR);
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, static_cast<size_t>(n));
    close(fd);
    return answer;
}

std::string ReadUntil(int fd, const std::string& mark) {
    std::string text;
    char c = 0;
    while (text.find(mark) == std::string::npos && recv(fd, &c, 1, 0) == 1) text += c;
    return text;
}

TEST(HttpServerTest, ServesWithinBoundsStreamsEventsAndStopsWithConnectionsOpen) {
    std::atomic<int> ticks{0};
    std::shared_ptr<TickStream> stream = std::make_shared<TickStream>(ticks);
    HttpServer server;
    std::string error;
    ServerLimits limits;
    limits.bodyBytes = 1000;
    ASSERT_TRUE(server.Start(
        0,
        [&](const Request& request) {
            if (request.path == "/events") {
                Response response;
                response.stream = stream;
                return response;
            }
            if (request.path == "/throw") throw std::runtime_error("boom");
            return Response::Json(200, json::Quote(request.method + " " + request.path + " " + request.body));
        },
        error, limits))
        << error;
    const uint16_t port = server.Port();
    ASSERT_NE(port, 0);

    struct Case {
        std::string request;
        const char* status;
        const char* body;  // a part of the answer's body
    } cases[] = {
        {"GET /a%20b HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200", "\"GET /a b \""},
        {"POST /p HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello", "HTTP/1.1 200", "\"POST /p hello\""},
        {"POST /p HTTP/1.1\r\nHost: x\r\nContent-Length: 5000\r\n\r\n" + std::string(5000, 'x'), "HTTP/1.1 400",
         "\"field\":\"body\""},
        {"GET / HTTP/1.1\r\nHost: x\r\nX: " + std::string(20000, 'a') + "\r\n\r\n", "HTTP/1.1 400", "header"},
        {"NONSENSE\r\n\r\n", "HTTP/1.1 400", "not HTTP"},
        {"GET /../x HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 400", "not a path"},
        {"GET /throw HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 500", "boom"},
        {"GET / HTTP/1.1\r\nHost: x\r\n", "", ""},  // half a request, then the client closes its side
    };
    for (const Case& c : cases) {
        const std::string answer = Exchange(port, c.request);
        EXPECT_EQ(answer.rfind(c.status, 0), 0u) << c.request.substr(0, 40) << " -> " << answer.substr(0, 80);
        EXPECT_NE(answer.find(c.body), std::string::npos) << answer;
    }

    // An event stream: the first event at once, then one per wake-up.
    const int events = Connect(port);
    const std::string get = "GET /events HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_EQ(send(events, get.data(), get.size(), MSG_NOSIGNAL), static_cast<ssize_t>(get.size()));
    EXPECT_NE(ReadUntil(events, "data: 0\n\n").find("text/event-stream"), std::string::npos);
    ticks = 1;
    stream->Wake();
    EXPECT_NE(ReadUntil(events, "data: 1\n\n").find("data: 1"), std::string::npos);

    // Stopping with the stream and an idle connection open ends both.
    const int idle = Connect(port);
    server.Stop();
    char c = 0;
    EXPECT_LE(recv(events, &c, 1, 0), 0);
    EXPECT_LE(recv(idle, &c, 1, 0), 0);
    close(events);
    close(idle);
    stream->Wake();  // after the stop: goes nowhere
}

}  // namespace
}  // namespace tallyx::server

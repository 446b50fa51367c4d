#include "server/http_server.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace tallyx::server {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

// Posts work to the server's thread while the server lives; after Stop, nothing.
class Poster {
public:
    explicit Poster(net::io_context& context) : context_(&context) {}
    template <typename Work>
    void Post(Work work) {
        std::lock_guard<std::mutex> lock(lock_);
        if (context_ != nullptr) net::post(*context_, std::move(work));
    }
    void Close() {
        std::lock_guard<std::mutex> lock(lock_);
        context_ = nullptr;
    }

private:
    std::mutex lock_;
    net::io_context* context_;
};

struct HttpServer::State {
    // Before the context, which destroys the connections that use them.
    Handler handler;
    ServerLimits limits;
    size_t connections = 0;  // touched on the server's thread only
    uint16_t port = 0;
    net::io_context context{1};
    tcp::acceptor acceptor{context};
    net::steady_timer retry{context};
    std::thread thread;
    std::shared_ptr<Poster> poster = std::make_shared<Poster>(context);
};

namespace {

const char* kEventStreamHead =
    "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n";

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket socket, HttpServer::State& state) : stream_(std::move(socket)), state_(state) {
        ++state_.connections;
    }
    ~Connection() { --state_.connections; }

    void ReadRequest() {
        parser_.emplace();
        parser_->body_limit(state_.limits.bodyBytes);
        parser_->header_limit(static_cast<uint32_t>(state_.limits.headerBytes));
        stream_.expires_after(state_.limits.idle);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRequest(ec); });
    }

private:
    void OnRequest(beast::error_code ec) {
        if (ec == http::error::body_limit) {
            return Answer(Response::Error(400, "the request body is larger than " +
                                                   std::to_string(state_.limits.bodyBytes) + " bytes", "body"),
                          false);
        }
        if (ec == http::error::header_limit) {
            return Answer(Response::Error(400, "the request's header is larger than " +
                                                   std::to_string(state_.limits.headerBytes) + " bytes"),
                          false);
        }
        // The client closed between requests, or in the middle of one.
        if (ec == http::error::end_of_stream || ec == http::error::partial_message) return Close();
        if (ec && ec.category() == make_error_code(http::error::bad_target).category())
            return Answer(Response::Error(400, "the request is not HTTP/1.1: " + ec.message()), false);
        if (ec) return Close();  // the client went, or took too long

        const http::request<http::string_body>& message = parser_->get();
        Request request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        auto header = [&](auto field) {
            const auto found = message.find(field);
            return found == message.end() ? std::string() : std::string(found->value());
        };
        request.host = header(http::field::host);
        request.origin = header(http::field::origin);
        request.cookie = header(http::field::cookie);
        request.contentType = header(http::field::content_type);
        request.tokenHeader = header("X-Tallyx-Token");
        request.body = message.body();
        const bool keepAlive = message.keep_alive();
        if (!SplitTarget(request.target, request.path, request.query))
            return Answer(Response::Error(400, "the request target is not a path of this server"), false);

        Response response;
        try {
            response = state_.handler(request);
        } catch (const std::exception& e) {
            response = Response::Error(500, std::string("the server failed on this request: ") + e.what());
        }
        if (response.stream) return StartEvents(std::move(response.stream));
        Answer(std::move(response), keepAlive);
    }

    void Answer(Response response, bool keepAlive) {
        auto message = std::make_shared<http::response<http::string_body>>();
        message->version(11);
        message->result(static_cast<unsigned>(response.status));
        message->set(http::field::content_type, response.contentType);
        message->set(http::field::cache_control, "no-store");
        message->set("X-Content-Type-Options", "nosniff");
        message->set("Referrer-Policy", "no-referrer");
        for (const auto& [name, value] : response.headers) message->insert(name, value);
        message->body() = std::move(response.body);
        message->keep_alive(keepAlive);
        message->prepare_payload();
        stream_.expires_after(state_.limits.idle);
        http::async_write(stream_, *message,
                          [self = shared_from_this(), message, keepAlive](beast::error_code ec, size_t) {
                              if (ec || !keepAlive) return self->Close();
                              self->ReadRequest();
                          });
    }

    void StartEvents(std::shared_ptr<EventStream> events) {
        events_ = std::move(events);
        stream_.expires_never();
        std::weak_ptr<Connection> weak = weak_from_this();
        std::shared_ptr<Poster> poster = state_.poster;
        std::shared_ptr<std::atomic<bool>> queued = wakeQueued_;
        events_->Watch([weak, poster, queued] {
            // Many wake-ups while one is queued make one pump.
            if (queued->exchange(true)) return;
            poster->Post([weak, queued] {
                queued->store(false);
                if (auto self = weak.lock()) self->Pump();
            });
        });
        outgoing_ = kEventStreamHead;
        writing_ = true;
        net::async_write(stream_.socket(), net::buffer(outgoing_),
                         [self = shared_from_this()](beast::error_code ec, size_t) { self->Written(ec); });
        WatchForClose();
    }

    // The client sends nothing on an event stream: a read ends when it goes away.
    void WatchForClose() {
        stream_.socket().async_read_some(net::buffer(sink_), [self = shared_from_this()](beast::error_code ec, size_t) {
            if (ec) return self->Close();
            self->WatchForClose();
        });
    }

    void Pump() {
        if (writing_ || closed_ || !events_) return;
        std::string text;
        const bool alive = events_->Take(text);
        if (text.empty()) {
            if (!alive) Close();
            return;
        }
        outgoing_ = std::move(text);
        writing_ = true;
        ended_ = !alive;
        net::async_write(stream_.socket(), net::buffer(outgoing_),
                         [self = shared_from_this()](beast::error_code ec, size_t) { self->Written(ec); });
    }

    void Written(beast::error_code ec) {
        writing_ = false;
        if (ec || ended_) return Close();
        Pump();
    }

    void Close() {
        if (closed_) return;
        closed_ = true;
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.socket().close(ignored);
        // The stream goes now: no more wake-ups for a connection that is gone.
        events_.reset();
    }

    beast::tcp_stream stream_;
    HttpServer::State& state_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::shared_ptr<EventStream> events_;
    std::shared_ptr<std::atomic<bool>> wakeQueued_ = std::make_shared<std::atomic<bool>>(false);
    std::string outgoing_;
    char sink_[256];
    bool writing_ = false;
    bool ended_ = false;
    bool closed_ = false;
};

void Accept(HttpServer::State& state) {
    state.acceptor.async_accept(state.context, [&state](beast::error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted || !state.acceptor.is_open()) return;
        if (ec) {
            // Out of descriptors, say: try again shortly instead of spinning.
            state.retry.expires_after(std::chrono::milliseconds(50));
            state.retry.async_wait([&state](beast::error_code waited) {
                if (!waited) Accept(state);
            });
            return;
        }
        if (state.connections >= state.limits.connections) {
            beast::error_code ignored;
            socket.close(ignored);
        } else {
            std::make_shared<Connection>(std::move(socket), state)->ReadRequest();
        }
        Accept(state);
    });
}

}  // namespace

HttpServer::HttpServer() = default;

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Start(uint16_t port, Handler handler, std::string& error, ServerLimits limits) {
    Stop();
    auto state = std::make_shared<State>();
    state->handler = std::move(handler);
    state->limits = limits;
    beast::error_code ec;
    const tcp::endpoint endpoint(net::ip::make_address_v4("127.0.0.1"), port);
    state->acceptor.open(endpoint.protocol(), ec);
    // No SO_REUSEADDR: on Windows it would let another program take the same port.
    if (!ec) state->acceptor.bind(endpoint, ec);
    if (!ec) state->acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + ec.message();
        return false;
    }
    state->port = state->acceptor.local_endpoint(ec).port();
    Accept(*state);
    state->thread = std::thread([raw = state.get()] { raw->context.run(); });
    state_ = std::move(state);
    return true;
}

uint16_t HttpServer::Port() const { return state_ ? state_->port : 0; }

void HttpServer::Stop() {
    if (!state_) return;
    state_->poster->Post([raw = state_.get()] {
        beast::error_code ignored;
        raw->acceptor.close(ignored);
        raw->retry.cancel();
        raw->context.stop();
    });
    if (state_->thread.joinable()) state_->thread.join();
    state_->poster->Close();
    // Destroying the context destroys what it still holds: every connection, closed.
    state_.reset();
}

}  // namespace tallyx::server

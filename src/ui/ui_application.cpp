#include "ui/ui_application.h"

#include "ui/page_assets.h"

namespace tallyx::ui {

using server::Request;
using server::Response;

namespace {

// The pages load their scripts and styles from this server only, talk to it
// only, and are never framed by another site.
constexpr const char* kPagePolicy =
    "default-src 'self'; script-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data:; "
    "connect-src 'self'; frame-src 'self'; frame-ancestors 'self'; base-uri 'none'; form-action 'none'";

}  // namespace

UiApplication::UiApplication(CounterOperations& operations, std::string archiveOption, server::AccessGuard guard)
    : guard_(std::move(guard)), counters_(operations), archive_(std::move(archiveOption)) {}

Response UiApplication::Handle(const Request& request) {
    const server::AccessVerdict verdict = guard_.Check(request);
    if (!verdict.allowed) return Response::Error(verdict.status, verdict.reason);
    Response response;
    if (request.path.rfind("/api/", 0) == 0) {
        std::optional<Response> answer = counters_.Handle(request);
        if (!answer) answer = archive_.Handle(request);
        response = answer ? std::move(*answer)
                          : Response::Error(request.method == "GET" ? 404 : 405,
                                            request.method + " " + request.path + " is not part of this application");
    } else {
        response = Page(request);
    }
    if (verdict.setCookie) response.headers.emplace_back("Set-Cookie", guard_.CookieHeader());
    return response;
}

Response UiApplication::Page(const Request& request) {
    if (request.method != "GET") return Response::Error(405, "pages are read with GET");
    const std::string path = request.path == "/" ? "/index.html" : request.path;
    const PageAsset* asset = FindPageAsset(path);
    if (asset == nullptr) return Response::Error(404, "no page " + request.path);
    Response response;
    response.contentType = std::string(asset->contentType);
    response.body = std::string(asset->data);
    if (path == "/index.html") {
        // The page sends the token with every request that changes anything.
        const std::string mark = "{{TOKEN}}";
        const size_t at = response.body.find(mark);
        if (at != std::string::npos) response.body.replace(at, mark.size(), guard_.Token());
        response.headers.emplace_back("Content-Security-Policy", kPagePolicy);
    }
    return response;
}

}  // namespace tallyx::ui

#include "ui/ui_command.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <cstdio>
#include <thread>

#include "archive/archive.h"
#include "cli/archive_access.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "platform/browser.h"
#include "server/access_token.h"
#include "server/http_server.h"
#include "tallyx_version.h"
#include "ui/counter_operations.h"
#include "ui/ui_application.h"

namespace tallyx::ui {

int RunUi(const UiOptions& options) {
    if (options.port < 0 || options.port > 65535) return cli::Fail(cli::kExitUsage, "--port: 0 to 65535 (0: a free port)");
    // The archive is opened once here so that a file that cannot be one is said at once.
    {
        int status = cli::kExitOk;
        if (!cli::OpenArchive(options.archive, status)) return status;
    }
    CounterOperations operations({options.archive, std::string("tallyx ui ") + TALLYX_VERSION_TEXT});
    server::HttpServer server;
    std::string error;
    const std::string token = server::NewAccessToken();
    // The application is made once the port is known: its guard checks the Host header against it.
    std::unique_ptr<UiApplication> application;
    std::atomic<UiApplication*> ready{nullptr};
    const bool started = server.Start(
        static_cast<uint16_t>(options.port),
        [&ready](const server::Request& request) {
            UiApplication* app = ready.load();
            return app != nullptr ? app->Handle(request) : server::Response::Error(503, "tallyx ui is starting");
        },
        error);
    if (!started) return cli::Fail(cli::kExitOther, error);
    application = std::make_unique<UiApplication>(operations, options.archive, server::AccessGuard(token, server.Port()));
    ready.store(application.get());

    const std::string address = "http://127.0.0.1:" + std::to_string(server.Port()) + "/?token=" + token;
    std::printf("tallyx ui: %s\n", address.c_str());
    std::printf("Archive: %s. Press Ctrl-C to stop.\n", cli::ArchivePath(options.archive).c_str());
    std::fflush(stdout);
    if (!options.noBrowser && !OpenInBrowser(address, error))
        std::fprintf(stderr, "tallyx ui: cannot open a browser (%s); open the address above in one.\n", error.c_str());

    // Ctrl-C sets the flag; an operation in progress stops at its next exchange with the counter.
    while (!cli::Session::InterruptRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::printf("tallyx ui: stopping\n");
    std::fflush(stdout);
    operations.StopAll();
    server.Stop();
    std::printf("tallyx ui: stopped.\n");
    return cli::kExitOk;
}

const char* UiHelp() {
    return "Serves the counters, the archive and the study reports as pages for a browser on this machine only "
           "(127.0.0.1), and opens the browser there. The address printed carries a random token: only a browser "
           "given it gets in (it keeps a cookie for that port afterwards). Pages: Counters (ports, probing, battery "
           "discharge), Read (with progress and Cancel; the study is archived and opened), Program (a form checked "
           "with the rules of tallyx program), Archive (studies, reports, downloads, the site register) and Fleet "
           "(every counter, its battery history). One operation runs on a port at a time. Ctrl-C ends tallyx ui: an "
           "operation in progress stops between two exchanges with the counter, as tallyx read does, and its port is "
           "closed.";
}

}  // namespace tallyx::ui

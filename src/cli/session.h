#pragma once
// One counter operation through the library: a context with the common
// options applied, the progress display, the low-battery question, and Ctrl-C
// turned into an abort between two exchanges with the counter.
#include <tallyx/tallyx.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cli/port_argument.h"
#include "cli/progress_display.h"

namespace tallyx::cli {

// The options every subcommand that talks to a counter takes.
struct CommonOptions {
    std::string port;
    int usb = 0;
    std::string baud, parity, dataBits, stopBits;
    std::string logDir, logLevel;
    std::string timeoutMs, delayMs;
    bool yes = false;    // answer yes to the low-battery question
    bool quiet = false;  // no progress display
};

// What a program other than the console (the browser application) does with
// the progress of an operation and with the low-battery question, and its own
// way to cancel one. Unset members keep the console behaviour.
struct SessionHooks {
    // Every step of the operation, with the total when it is known (else 0).
    std::function<void(uint32_t step, uint32_t total)> progress;
    // The low-battery question: true to go on.
    std::function<bool()> lowBattery;
    // Set to abort the operation between two exchanges, as Ctrl-C does.
    const std::atomic<bool>* cancel = nullptr;
};

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Applies the options: 0, or the exit status with a sentence naming the
    // option in error (a port that does not exist is kExitPort, any other
    // bad option kExitUsage).
    int Configure(const CommonOptions& options, std::string& error);
    // Sets a property; false with "what: code description" in error.
    bool Set(const char* property, const std::string& value, const std::string& what, std::string& error);
    std::string Get(const char* property);

    // Runs ReadDevice or WriteDevice with the action and the progress display.
    int32_t Read(const char* action, const char* label);
    int32_t Write(const char* action, const char* label);

    void SetHooks(SessionHooks hooks) { hooks_ = std::move(hooks); }

    TallyxHandle Handle() const { return handle_; }
    const PortChoice& Port() const { return port_; }
    // Ctrl-C was pressed, or the hooks' cancel flag is set.
    bool Interrupted() const;

    // Set by SIGINT; the next progress step of every session aborts its operation.
    static void InstallInterruptHandler();
    static bool InterruptRequested();

private:
    static int32_t TALLYX_CALL OnProgress(TallyxHandle handle, uint32_t step);
    static int32_t TALLYX_CALL OnPrompt(TallyxHandle handle, int32_t reason);
    uint32_t EstimatedSteps();
    int32_t Run(bool write, const char* action, const char* label);

    TallyxHandle handle_ = nullptr;
    PortChoice port_;
    bool yes_ = false;
    bool quiet_ = false;
    bool reading_ = false;
    std::unique_ptr<ProgressDisplay> display_;
    SessionHooks hooks_;
};

}  // namespace tallyx::cli

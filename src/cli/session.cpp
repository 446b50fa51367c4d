#include "cli/session.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>

#include "cli/return_code_help.h"
#include "drivers/counter_models.h"
#include "platform/console.h"
#include "platform/port_texts.h"

namespace tallyx::cli {

namespace {

std::atomic<bool> g_interrupted{false};
// The sessions whose operations run now, by handle: the callbacks carry only
// the handle, and several sessions may run at once, each on a thread of its own.
std::mutex g_runningLock;
std::map<TallyxHandle, Session*> g_running;

Session* RunningSession(TallyxHandle handle) {
    std::lock_guard<std::mutex> lock(g_runningLock);
    const auto found = g_running.find(handle);
    return found == g_running.end() ? nullptr : found->second;
}

void HandleInterrupt() { g_interrupted.store(true); }

}  // namespace

void Session::InstallInterruptHandler() {
    // A second Ctrl-C ends the program at once.
    tallyx::InstallInterruptHandler(HandleInterrupt);
}

Session::Session() : handle_(Init()) {}

Session::~Session() {
    if (handle_ != nullptr) Term(handle_);
}

bool Session::InterruptRequested() { return g_interrupted.load(); }

bool Session::Interrupted() const {
    return g_interrupted.load() || (hooks_.cancel != nullptr && hooks_.cancel->load());
}

bool Session::Set(const char* property, const std::string& value, const std::string& what, std::string& error) {
    const int32_t result = SetProperty(handle_, property, value.c_str());
    if (result == RETCODE_OK) return true;
    error = what + " '" + value + "': " + DescribeCode(result);
    return false;
}

std::string Session::Get(const char* property) {
    char value[10240];
    return GetProperty(handle_, property, value, sizeof value) == RETCODE_OK ? std::string(value) : std::string();
}

int Session::Configure(const CommonOptions& options, std::string& error) {
    if (handle_ == nullptr) {
        error = "the library could not create a context (out of memory)";
        return kExitOther;
    }
    yes_ = options.yes;
    quiet_ = options.quiet;
    if (options.usb != 0) {
        if (options.usb < 0) {
            error = "--usb: the bridge number counts from 1";
            return kExitUsage;
        }
        port_ = PortChoice{true, static_cast<uint32_t>(options.usb), ""};
    } else if (options.port.empty()) {
        error = std::string("--port is needed: give ") + SystemPortTexts().forms + " (tallyx ports lists them)";
        return kExitUsage;
    } else if (!ResolvePort(options.port, port_, error)) {
        error = "--port: " + error;
        return kExitPort;
    }
    if (port_.usb) {
        if (!Set(PROPERTY_USBX_PORT, std::to_string(port_.number), "--usb", error)) return kExitUsage;
    } else if (!Set(PROPERTY_COMM_PORT, std::to_string(port_.number), "--port", error)) {
        return kExitUsage;
    }
    const struct {
        const std::string& value;
        const char* property;
        const char* option;
    } settings[] = {
        {options.baud, PROPERTY_COMM_BAUD, "--baud"},
        {options.parity, PROPERTY_COMM_PARITY, "--parity"},
        {options.dataBits, PROPERTY_COMM_NUMBITS, "--data-bits"},
        {options.stopBits, PROPERTY_COMM_NUMSTOPBITS, "--stop-bits"},
        {options.logDir, PROPERTY_COMM_LOGFOLDER, "--log-dir"},
        {options.logLevel, PROPERTY_COMM_LOGLEVEL, "--log-level"},
        {options.timeoutMs, PROPERTY_COMM_RECVTOUTMS, "--timeout-ms"},
        {options.delayMs, PROPERTY_COMM_WAITBETWEENREQSMS, "--delay-ms"},
    };
    for (const auto& setting : settings) {
        if (!setting.value.empty() && !Set(setting.property, setting.value, setting.option, error)) return kExitUsage;
    }
    if (!options.logDir.empty() && options.logLevel.empty() &&
        !Set(PROPERTY_COMM_LOGLEVEL, "COMMANDS", "--log-level", error)) {
        return kExitUsage;
    }
    return kExitOk;
}

uint32_t Session::EstimatedSteps() {
    // The row of the counter's model (kCounterModels) says whether a full
    // read's total is known once the record count has been read, and how it
    // follows from that count; a model that reads until its flash runs out
    // has no total.
    if (!reading_) return 0;
    char text[64];
    if (GetProperty(handle_, PROPERTY_DEV_UNITTYPE, text, sizeof text) != RETCODE_OK) return 0;
    const CounterModelInfo* model = ModelOfUnitType(text);
    if (model == nullptr || model->readChunkRecords == 0) return 0;
    if (GetProperty(handle_, PROPERTY_STUDY_NUMRECORDS, text, sizeof text) != RETCODE_OK || text[0] == '\0') return 0;
    const long records = std::strtol(text, nullptr, 10);
    if (records < 0) return 0;
    const uint64_t count = static_cast<uint64_t>(records);
    return ReadProgressTotal(*model, count > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(count));
}

int32_t TALLYX_CALL Session::OnProgress(TallyxHandle handle, uint32_t step) {
    if (g_interrupted.load()) return 1;
    Session* session = RunningSession(handle);
    if (session == nullptr) return 0;
    if (session->Interrupted()) return 1;
    if (session->display_ || session->hooks_.progress) {
        uint32_t total = session->EstimatedSteps();
        if (total != 0 && step > total) total = step;
        if (session->display_) session->display_->Update(step, total);
        if (session->hooks_.progress) session->hooks_.progress(step, total);
    }
    return 0;
}

int32_t TALLYX_CALL Session::OnPrompt(TallyxHandle handle, int32_t reason) {
    if (g_interrupted.load()) return 1;
    Session* session = RunningSession(handle);
    if (session != nullptr && session->Interrupted()) return 1;
    if (reason != PROMPT_REASON_LOWBATTERY) return 0;
    if (session == nullptr) return 1;
    if (session->hooks_.lowBattery) return session->hooks_.lowBattery() && !session->Interrupted() ? 0 : 1;
    if (session->display_) session->display_->Clear();
    if (session->yes_) {
        std::fprintf(stderr, "tallyx: the battery may not last for this study; going on (--yes)\n");
        return 0;
    }
    if (!IsTerminal(stdin)) {
        std::fprintf(stderr,
                     "tallyx: the battery may not last for this study; not programming it without --yes "
                     "(there is no terminal to ask on)\n");
        return 1;
    }
    std::fprintf(stderr, "The battery may not last for this study. Program it anyway? [y/N] ");
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer) || g_interrupted.load()) return 1;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "YES" || answer == "Yes" ? 0 : 1;
}

int32_t Session::Run(bool write, const char* action, const char* label) {
    if (Interrupted()) return RETCODE_ABORTED;
    SetProperty(handle_, PROPERTY_TALLYX_READWRITEACTION, action);
    SetProgressCallback(handle_, OnProgress);
    SetPromptCallback(handle_, OnPrompt);
    if (!quiet_) display_ = std::make_unique<ProgressDisplay>(label);
    reading_ = !write;
    {
        std::lock_guard<std::mutex> lock(g_runningLock);
        g_running[handle_] = this;
    }
    const int32_t result = write ? WriteDevice(handle_) : ReadDevice(handle_);
    {
        std::lock_guard<std::mutex> lock(g_runningLock);
        g_running.erase(handle_);
    }
    display_.reset();
    return result;
}

int32_t Session::Read(const char* action, const char* label) { return Run(false, action, label); }

int32_t Session::Write(const char* action, const char* label) { return Run(true, action, label); }

}  // namespace tallyx::cli

#include "simulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "sim_models.h"
#include "traffic_generator.h"

namespace tallysim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxQueuedOutput = 256u << 20;

int TimeoutUntil(Clock::time_point now, Clock::time_point due) {
    if (due <= now) return 0;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count() + 1;
    return static_cast<int>(std::min<long long>(ms, 200));
}

const char* WakeupName(WakeupFault fault) {
    switch (fault) {
        case WakeupFault::None: return "";
        case WakeupFault::Wrong: return " (wrong)";
        case WakeupFault::LowerCase: return " (lower case)";
        case WakeupFault::ControlByte: return " (with a control byte)";
        case WakeupFault::Missing: return " (withheld)";
        case WakeupFault::Long: return " (after 1,100 characters)";
        case WakeupFault::Endless: return " (without a line end)";
    }
    return "";
}

}  // namespace

Simulator::Simulator(SimOptions options) : options_(std::move(options)), output_(options_.baud) {
    study_ = options_.study ? *options_.study : GenerateStudy(options_.description);
    faults_ = options_.faults;
    counter_ = SimModelOf(options_.description.model)
                   .makeCounter(options_.description, study_, &faults_, options_.eraseDelayMs);
    transcript_.SetKeepInMemory(options_.keepTranscript);
}

Simulator::~Simulator() { Stop(); }

bool Simulator::Start(std::string* error) {
    if (Running()) return true;
    if (!options_.transcriptFile.empty() && !transcriptFileOpen_) {
        if (!transcript_.OpenFile(options_.transcriptFile, error)) return false;
        transcriptFileOpen_ = true;  // a later Start() goes on writing into it
    }
    if (!line_.Publish(options_.portDir, options_.comNumber, error)) return false;
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        if (error) *error = "cannot create an event descriptor";
        line_.Unpublish();
        return false;
    }
    stop_ = false;
    notices_.clear();
    {
        std::lock_guard lock(mutex_);
        portPath_ = line_.LinkPath();
        slavePath_ = line_.SlavePath();
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void Simulator::Stop() {
    if (!thread_.joinable()) return;
    stop_ = true;
    Wake();
    thread_.join();
    close(wakeFd_);
    wakeFd_ = -1;
    line_.Unpublish();
    std::lock_guard lock(mutex_);
    portPath_.clear();
    slavePath_.clear();
}

void Simulator::Wake() {
    const uint64_t one = 1;
    if (wakeFd_ >= 0) (void)!write(wakeFd_, &one, sizeof one);
}

std::string Simulator::PortPath() const {
    std::lock_guard lock(mutex_);
    return portPath_;
}

std::string Simulator::SlavePath() const {
    std::lock_guard lock(mutex_);
    return slavePath_;
}

std::vector<CommandRecord> Simulator::Commands() const {
    std::lock_guard lock(mutex_);
    return counter_->Commands();
}

std::vector<std::string> Simulator::ProtocolErrors() const {
    std::lock_guard lock(mutex_);
    return counter_->ProtocolErrors();
}

Programming Simulator::Programmed() const {
    std::lock_guard lock(mutex_);
    return counter_->Programmed();
}

unsigned Simulator::Wakeups() const {
    std::lock_guard lock(mutex_);
    return wakeups_;
}

bool Simulator::WaitForWakeups(unsigned count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return signal_.wait_for(lock, timeout, [&] { return wakeups_ >= count; });
}

bool Simulator::WaitForClosedSessions(unsigned count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return signal_.wait_for(lock, timeout, [&] { return closedSessions_ >= count; });
}

unsigned Simulator::ClosedSessions() const {
    std::lock_guard lock(mutex_);
    return closedSessions_;
}

unsigned Simulator::StudyState() const {
    std::lock_guard lock(mutex_);
    return counter_->StudyState();
}

SimDateTime Simulator::DeviceClock() const {
    std::lock_guard lock(mutex_);
    return counter_->ClockNow();
}

void Simulator::SetFaults(const FaultPlan& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
    faults_.ResetCounters();
}

bool Simulator::ApplyNotices(int& openCount, bool& pendingOpen) {
    notices_.clear();
    line_.TakeNotices(notices_);
    bool closed = false;
    for (const auto notice : notices_) {
        switch (notice) {
            case PtyLine::Notice::Opened:
                if (openCount++ == 0) pendingOpen = true;
                break;
            case PtyLine::Notice::Closed:
                if (openCount > 0 && --openCount == 0) {
                    closed = true;
                    pendingOpen = false;
                }
                break;
            case PtyLine::Notice::Resync:
                if (line_.SlaveHungUp()) {
                    if (openCount > 0) closed = true;
                    openCount = 0;
                    pendingOpen = false;
                }
                break;
        }
    }
    return !closed;
}

void Simulator::Run() {
    int openCount = 0;
    bool pendingOpen = false;
    while (!stop_) {
        pollfd fds[2] = {{line_.NotifyFd(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        poll(fds, 2, pendingOpen ? 0 : 200);
        if (stop_) break;
        ApplyNotices(openCount, pendingOpen);
        if (pendingOpen && openCount > 0) {
            pendingOpen = false;
            RunSession(openCount, pendingOpen);
        }
    }
}

void Simulator::SendWakeup(unsigned session) {
    std::string wakeup;
    WakeupFault fault;
    {
        std::lock_guard lock(mutex_);
        fault = faults_.ForWakeup();
        wakeup = counter_->WakeupLine(fault);
    }
    // Whatever was sent towards a closed port must not reach this opening.
    line_.DiscardToSlave();
    transcript_.Event(session, std::string("wake-up") + WakeupName(fault));
    output_.Send(wakeup);
    {
        std::lock_guard lock(mutex_);
        ++wakeups_;
    }
    signal_.notify_all();
}

void Simulator::RunSession(int& openCount, bool& pendingOpen) {
    const unsigned session = ++sessions_;
    transcript_.Event(session, "port opened");
    {
        std::lock_guard lock(mutex_);
        counter_->BeginSession(session);
    }
    output_.Clear();
    output_.SetBaud(options_.baud);
    line_.DiscardPending();

    SessionState state;
    state.number = session;
    state.settleEnd = Clock::now() + std::chrono::milliseconds(options_.settleMs);
    state.lastTraffic = Clock::now();
    const auto idle = std::chrono::milliseconds(options_.idleSleepMs);
    auto writer = [this, session](const char* data, size_t size) {
        return transcript_.WriteAndRecord(Direction::FromCounter, session, data, size,
                                          [this](const char* d, size_t n) { return line_.Write(d, n); });
    };

    while (!stop_) {
        auto now = Clock::now();
        if (state.settling && now >= state.settleEnd) {
            state.settling = false;
            SendWakeup(session);
            state.lastTraffic = now;
        }
        PacedOutput::Step step;
        if (!state.settling) {
            step = output_.Pump(now, writer);
            if (!step.written.empty()) state.lastTraffic = now;
            if (step.hangUp) {
                HangUp(session);
                openCount = 0;
                pendingOpen = false;
                EndSession();
                return;
            }
            if (!state.asleep && options_.idleSleepMs > 0 && output_.Empty() && now - state.lastTraffic >= idle) {
                state.asleep = true;
                transcript_.Event(session, "counter fell asleep");
            }
        }

        int timeout = 200;
        short events = POLLIN;
        if (state.settling) timeout = TimeoutUntil(now, state.settleEnd);
        else if (step.blocked) events |= POLLOUT;
        else if (step.due) timeout = TimeoutUntil(now, *step.due);
        else if (step.failed) timeout = 2;
        else if (!state.asleep && options_.idleSleepMs > 0) timeout = TimeoutUntil(now, state.lastTraffic + idle);

        pollfd fds[3] = {{line_.MasterFd(), events, 0}, {line_.NotifyFd(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        poll(fds, 3, timeout);
        if (stop_) return;
        if (!ApplyNotices(openCount, pendingOpen)) {
            // What the program sent before it closed the port still counts (a final start
            // command, say); answers to it are pointless.
            ReadInput(state);
            transcript_.Event(session, "port closed");
            output_.Clear();
            line_.DiscardUnreadAtSlave();
            EndSession();
            return;
        }
        if (ReadInput(state)) {
            // The slave was closed and its notification is on its way; do not spin meanwhile.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
}

bool Simulator::ReadInput(SessionState& state) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = line_.Read(buffer, sizeof buffer);
        if (n <= 0) return n == 0 || errno == EIO;
        const std::string_view bytes(buffer, static_cast<size_t>(n));
        transcript_.Record(Direction::ToCounter, state.number, bytes);
        if (state.settling || state.asleep) continue;  // not awake yet, or asleep: nothing is heard
        state.lastTraffic = Clock::now();
        if (output_.QueuedBytes() > kMaxQueuedOutput) {
            // A program that sends and never reads gets no further answers.
            transcript_.Event(state.number, "output queue full: input ignored");
            continue;
        }
        std::lock_guard lock(mutex_);
        counter_->Receive(bytes, output_);
    }
}

void Simulator::EndSession() {
    {
        std::lock_guard lock(mutex_);
        ++closedSessions_;
    }
    signal_.notify_all();
}

void Simulator::HangUp(unsigned session) {
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.hangUpLingerMs));
    transcript_.Event(session, "hang-up");
    output_.Clear();
    std::string error;
    const bool replaced = line_.Replace(&error, [this] {
        {
            std::lock_guard lock(mutex_);
            slavePath_ = line_.SlavePath();
        }
        ++hangUps_;
    });
    if (!replaced) transcript_.Event(session, "the line could not be replaced: " + error);
}

}  // namespace tallysim

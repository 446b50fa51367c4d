#include "ui/counter_operations.h"

#include <chrono>

#include "archive/archive.h"
#include "cli/archive_access.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "cli/study_check.h"

namespace tallyx::ui {

using json::Value;

namespace {

// What a user can do when a read could not be archived.
constexpr const char* kReadAgain =
    ". The records stay on the counter until it is programmed again: read it again once the archive can be written.";

const char* StateName(OperationState state) {
    switch (state) {
        case OperationState::kRunning: return "running";
        case OperationState::kQuestion: return "question";
        case OperationState::kDone: return "done";
        case OperationState::kFailed: return "failed";
        case OperationState::kCancelled: return "cancelled";
    }
    return "";
}

// How long the low-battery question waits for a page to answer it before the answer is no.
constexpr std::chrono::minutes kQuestionWait{10};

// What a failed operation tells the person at the page: the meaning of the code and what to check.
std::string FailureText(const char* what, int32_t code) {
    const cli::CodeHelp help = cli::HelpFor(code);
    std::string text = std::string(what) + ": " + help.meaning;
    if (help.check != nullptr && *help.check != '\0') text += " (check: " + std::string(help.check) + ")";
    return text + ".";
}

}  // namespace

const char* KindName(OperationKind kind) {
    switch (kind) {
        case OperationKind::kProbe: return "probe";
        case OperationKind::kRead: return "read";
        case OperationKind::kProgram: return "program";
        case OperationKind::kDischargeStart: return "discharge-start";
        case OperationKind::kDischargeStop: return "discharge-stop";
    }
    return "";
}

struct CounterOperations::Slot {
    uint32_t com = 0;
    std::thread thread;
    std::atomic<bool> cancel{false};
    bool running = false;
    // The last operation of the port.
    bool any = false;
    uint64_t id = 0;
    OperationKind kind = OperationKind::kProbe;
    OperationState state = OperationState::kDone;
    std::string phase;
    uint32_t step = 0, total = 0;
    std::string message;
    int64_t studyId = 0;
    std::vector<std::pair<std::string, std::string>> fields;  // key, what is wrong
    std::string startedAt, endedAt;
    // The low-battery question.
    std::condition_variable answered;
    bool answerGiven = false;
    bool proceed = false;
    CounterFacts facts;
};

CounterOperations::CounterOperations(OperationsOptions options) : options_(std::move(options)) {}

CounterOperations::~CounterOperations() { StopAll(); }

void CounterOperations::Changed() {
    version_.fetch_add(1);
    feed_.Notify();
}

CounterOperations::Start CounterOperations::Probe(uint32_t com) {
    return Launch(com, OperationKind::kProbe, {}, false);
}
CounterOperations::Start CounterOperations::Read(uint32_t com, bool metric) {
    return Launch(com, OperationKind::kRead, {}, metric);
}
CounterOperations::Start CounterOperations::Program(uint32_t com, study::StudySettings settings) {
    return Launch(com, OperationKind::kProgram, std::move(settings), false);
}
CounterOperations::Start CounterOperations::Discharge(uint32_t com, bool start) {
    return Launch(com, start ? OperationKind::kDischargeStart : OperationKind::kDischargeStop, {}, false);
}

CounterOperations::Start CounterOperations::Launch(uint32_t com, OperationKind kind, study::StudySettings settings,
                                                   bool metric) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (stopping_) return Start::kStopping;
        std::unique_ptr<Slot>& entry = slots_[com];
        if (!entry) {
            entry = std::make_unique<Slot>();
            entry->com = com;
        }
        Slot& slot = *entry;
        if (slot.running) return Start::kBusy;
        // The thread of the port's last operation has finished its work.
        if (slot.thread.joinable()) slot.thread.join();
        slot.running = true;
        slot.any = true;
        slot.id = nextId_++;
        slot.kind = kind;
        slot.state = OperationState::kRunning;
        slot.phase = kind == OperationKind::kRead ? "Reading" : kind == OperationKind::kProbe ? "Asking" : "Connecting";
        slot.step = slot.total = 0;
        slot.message.clear();
        slot.studyId = 0;
        slot.fields.clear();
        slot.startedAt = archive::LocalTimeNow();
        slot.endedAt.clear();
        slot.answerGiven = false;
        slot.proceed = false;
        slot.cancel.store(false);
        slot.thread = std::thread([this, &slot, kind, settings = std::move(settings), metric]() mutable {
            Work(slot, kind, std::move(settings), metric);
        });
    }
    Changed();
    return Start::kStarted;
}

bool CounterOperations::Cancel(uint32_t com) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        const auto found = slots_.find(com);
        if (found == slots_.end() || !found->second->running) return false;
        found->second->cancel.store(true);
        found->second->answered.notify_all();
    }
    Changed();
    return true;
}

bool CounterOperations::Answer(uint32_t com, bool proceed) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        const auto found = slots_.find(com);
        if (found == slots_.end() || found->second->state != OperationState::kQuestion || found->second->answerGiven)
            return false;
        found->second->answerGiven = true;
        found->second->proceed = proceed;
        found->second->answered.notify_all();
    }
    Changed();
    return true;
}

std::string CounterOperations::Busy(uint32_t com) const {
    std::lock_guard<std::mutex> lock(lock_);
    const auto found = slots_.find(com);
    return found != slots_.end() && found->second->running ? KindName(found->second->kind) : "";
}

void CounterOperations::StopAll() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        stopping_ = true;
        for (auto& [com, slot] : slots_) {
            slot->cancel.store(true);
            slot->answered.notify_all();
        }
    }
    // Each stops at its next exchange; the slots stay, so no lock is needed to join.
    for (auto& [com, slot] : slots_)
        if (slot->thread.joinable()) slot->thread.join();
}

Value CounterOperations::Snapshot() const {
    Value ports = Value::Object();
    std::lock_guard<std::mutex> lock(lock_);
    for (const auto& [com, slot] : slots_) {
        Value port = Value::Object();
        if (slot->any) {
            Value op = Value::Object();
            op.Set("id", Value::Integer(static_cast<int64_t>(slot->id)));
            op.Set("kind", Value::String(KindName(slot->kind)));
            op.Set("state", Value::String(StateName(slot->state)));
            op.Set("running", Value::Bool(slot->running));
            op.Set("phase", Value::String(slot->phase));
            op.Set("step", Value::Integer(slot->step));
            op.Set("total", Value::Integer(slot->total));
            op.Set("message", Value::String(slot->message));
            if (slot->studyId != 0) op.Set("studyId", Value::Integer(slot->studyId));
            Value fields = Value::Object();
            for (const auto& [key, reason] : slot->fields) fields.Set(key, Value::String(reason));
            op.Set("fields", std::move(fields));
            op.Set("startedAt", Value::String(slot->startedAt));
            op.Set("endedAt", Value::String(slot->endedAt));
            port.Set("operation", std::move(op));
        }
        const CounterFacts& f = slot->facts;
        if (f.known || !f.problem.empty()) {
            Value counter = Value::Object();
            counter.Set("known", Value::Bool(f.known));
            for (const auto& [name, value] :
                 {std::pair{"model", &f.model}, std::pair{"unitType", &f.unitType}, std::pair{"serial", &f.serial},
                  std::pair{"firmware", &f.firmware}, std::pair{"batteryVoltage", &f.batteryVoltage},
                  std::pair{"batteryPercent", &f.batteryPercent}, std::pair{"begin", &f.begin}, std::pair{"end", &f.end}, std::pair{"checkedAt", &f.checkedAt},
                  std::pair{"problem", &f.problem}}) {
                counter.Set(name, Value::String(*value));
            }
            port.Set("counter", std::move(counter));
        }
        ports.Set("COM" + std::to_string(com), std::move(port));
    }
    Value snapshot = Value::Object();
    snapshot.Set("version", Value::Integer(static_cast<int64_t>(version_.load())));
    snapshot.Set("ports", std::move(ports));
    return snapshot;
}

void CounterOperations::Work(Slot& slot, OperationKind kind, study::StudySettings settings, bool metric) {
    auto update = [&](auto change) {
        {
            std::lock_guard<std::mutex> lock(lock_);
            change();
        }
        Changed();
    };
    auto finish = [&](OperationState state, const std::string& message) {
        update([&] {
            slot.state = state;
            slot.message = message;
            slot.endedAt = archive::LocalTimeNow();
            slot.running = false;
        });
    };

    cli::Session session;
    cli::CommonOptions common;
    common.port = "COM" + std::to_string(slot.com);
    common.quiet = true;
    if (kind == OperationKind::kProbe) common.timeoutMs = "3000";
    std::string error;
    if (kind == OperationKind::kProgram) {
        // Checked again here, with the rules of tallyx program, before the port is opened.
        const std::vector<cli::StudyProblem> problems = cli::ApplyStudySettings(settings, session, true);
        if (!problems.empty()) {
            update([&] {
                for (const cli::StudyProblem& p : problems) slot.fields.emplace_back(p.key, p.reason);
            });
            return finish(OperationState::kFailed, "the study was not programmed: " + problems.front().message);
        }
    }
    if (session.Configure(common, error) != cli::kExitOk) return finish(OperationState::kFailed, error);

    cli::SessionHooks hooks;
    hooks.cancel = &slot.cancel;
    hooks.progress = [&](uint32_t step, uint32_t total) {
        update([&] {
            slot.step = step;
            slot.total = total;
        });
    };
    bool declined = false;
    hooks.lowBattery = [&] {
        std::unique_lock<std::mutex> lock(lock_);
        slot.state = OperationState::kQuestion;
        slot.answerGiven = false;
        version_.fetch_add(1);
        lock.unlock();
        feed_.Notify();
        lock.lock();
        const bool given = slot.answered.wait_for(lock, kQuestionWait, [&] { return slot.answerGiven || slot.cancel.load(); });
        const bool proceed = given && slot.answerGiven && slot.proceed && !slot.cancel.load();
        declined = !proceed;
        slot.state = OperationState::kRunning;
        version_.fetch_add(1);
        lock.unlock();
        feed_.Notify();
        return proceed;
    };
    session.SetHooks(hooks);

    int32_t code = RETCODE_OK;
    const char* what = "";
    switch (kind) {
        case OperationKind::kProbe:
            code = session.Read(TALLYX_READACTION_DEVICEINFO, "Probing");
            what = "Asking the counter";
            break;
        case OperationKind::kRead:
            code = session.Read(TALLYX_READACTION_ALL, "Reading");
            what = "Reading the counter";
            break;
        case OperationKind::kProgram:
            update([&] { slot.phase = "Programming"; });
            code = session.Write(TALLYX_WRITEACTION_PROGRAMSTUDY, "Programming");
            what = "Programming the study";
            break;
        case OperationKind::kDischargeStart:
        case OperationKind::kDischargeStop:
            update([&] { slot.phase = kind == OperationKind::kDischargeStart ? "Starting the discharge" : "Stopping the discharge"; });
            code = session.Write(kind == OperationKind::kDischargeStart ? TALLYX_WRITEACTION_STARTBATTERYDISCHARGE
                                                                        : TALLYX_WRITEACTION_STOPBATTERYDISCHARGE,
                                 "Discharge");
            what = kind == OperationKind::kDischargeStart ? "Starting the battery discharge" : "Stopping the battery discharge";
            break;
    }

    // What the counter told about itself, when it answered at all.
    const std::string serial = session.Get(PROPERTY_DEV_SERIALNO);
    update([&] {
        CounterFacts& f = slot.facts;
        if (!serial.empty() && !session.Get(PROPERTY_DEV_UNITTYPE).empty()) {
            const CounterFacts before = f;
            f = CounterFacts{};
            f.known = true;
            f.unitType = session.Get(PROPERTY_DEV_UNITTYPE);
            f.model = cli::ModelOf(f.unitType);
            f.serial = serial;
            f.firmware = session.Get(PROPERTY_DEV_FIRMWAREREV);
            f.batteryVoltage = session.Get(PROPERTY_DEV_BATTERYVOLTAGE);
            f.batteryPercent = session.Get(PROPERTY_DEV_BATTERYPERCENT);
            f.begin = session.Get(PROPERTY_STUDY_BEGINDATETIME);
            f.end = session.Get(PROPERTY_STUDY_ENDDATETIME);
            // A discharge does not ask for the study: the same counter's study stands as it was.
            if (f.begin.empty() && before.known && before.serial == serial) {
                f.begin = before.begin;
                f.end = before.end;
            }
            f.checkedAt = archive::LocalTimeNow();
        } else if (kind == OperationKind::kProbe && code != RETCODE_ABORTED) {
            f = CounterFacts{};
            f.problem = code == RETCODE_ERR_FAILEDTOWAKEUP  ? "no counter answered"
                        : code == RETCODE_ERR_CANTOPENPORT ? "in use by another program, or not accessible"
                                                           : cli::HelpFor(code).meaning;
            f.checkedAt = archive::LocalTimeNow();
        }
    });

    if (code == RETCODE_ABORTED) {
        if (declined && !slot.cancel.load() && !cli::Session::InterruptRequested())
            return finish(OperationState::kCancelled,
                          "Not programmed: the battery may not last for this study. Charge or change the battery, or "
                          "program a shorter study.");
        return finish(OperationState::kCancelled, cli::Session::InterruptRequested()
                                                      ? "Stopped: tallyx ui is ending."
                                                      : "Cancelled between two exchanges with the counter.");
    }
    if (code != RETCODE_OK) {
        if (kind == OperationKind::kProgram) {
            if (const char* key = cli::StudyKeyOfCode(code)) {
                update([&] { slot.fields.emplace_back(key, std::string("the counter refused it: ") + cli::HelpFor(code).meaning); });
                return finish(OperationState::kFailed, FailureText("The counter refused the study", code));
            }
        }
        return finish(OperationState::kFailed, FailureText(what, code));
    }

    switch (kind) {
        case OperationKind::kProbe:
            return finish(OperationState::kDone, "Model " + slot.facts.model + ", serial number " + serial);
        case OperationKind::kProgram: {
            const study::StudyValue* begin = settings.Find("begin");
            const study::StudyValue* end = settings.Find("end");
            // The times to the minute, as the form has them.
            return finish(OperationState::kDone, "Programmed " + serial + ": " + (begin ? begin->value.substr(0, 16) : "") +
                                                     " to " + (end ? end->value.substr(0, 16) : "") + ", periods of " +
                                                     session.Get(PROPERTY_STUDY_PERIODTIME) + " min.");
        }
        case OperationKind::kDischargeStart:
        case OperationKind::kDischargeStop:
            return finish(OperationState::kDone, std::string("Battery discharge ") +
                                                     (kind == OperationKind::kDischargeStart ? "started" : "stopped") +
                                                     " on " + serial + ".");
        case OperationKind::kRead: break;
    }

    // The read is done; its records go into the archive. Should that fail, they
    // stay on the counter until it is programmed again, and the message says so.
    update([&] { slot.phase = "Archiving"; });
    study::Study study;
    const int32_t taken = cli::TakeReadStudy(session, metric, study, error);
    if (!error.empty() || taken != RETCODE_OK)
        return finish(OperationState::kFailed, error.empty() ? FailureText("Taking the records", taken) : error);
    int64_t id = 0;
    archive::AddOutcome outcome = archive::AddOutcome::kAdded;
    {
        // Closed before the read is said to be done, so that nothing of it is open afterwards.
        archive::DatabaseFault fault = archive::DatabaseFault::kNone;
        std::unique_ptr<archive::Archive> store = archive::Archive::Open(cli::ArchivePath(options_.archive), error, fault);
        if (!store) return finish(OperationState::kFailed, "The read was not archived: " + error + kReadAgain);
        archive::ReadFacts facts;
        facts.readAt = archive::LocalTimeNow();
        facts.program = options_.program;
        if (!store->Add(study, facts, id, outcome, error))
            return finish(OperationState::kFailed, "The read was not archived in " + store->Path() + ": " + error + kReadAgain);
    }
    update([&] { slot.studyId = id; });
    finish(OperationState::kDone, "Read " + std::to_string(study.vehicles.size()) + " vehicles from " + serial +
                                      (outcome == archive::AddOutcome::kAlreadyArchived
                                           ? "; already in the archive as study " + std::to_string(id) + "."
                                           : "; archived as study " + std::to_string(id) + "."));
}

}  // namespace tallyx::ui

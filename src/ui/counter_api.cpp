#include "ui/counter_api.h"

#include "cli/port_argument.h"
#include "cli/session.h"
#include "cli/study_check.h"
#include "ui/operation_events.h"
#include "ui/request_fields.h"

namespace tallyx::ui {

using json::Value;
using server::Request;
using server::Response;

namespace {

// The longest value a study setting may have in a form (the library keeps far less).
constexpr size_t kLongestSetting = 256;

std::string PortName(uint32_t com) { return "COM" + std::to_string(com); }

}  // namespace

std::optional<Response> CounterApi::Handle(const Request& request) {
    const std::string& path = request.path;
    const bool get = request.method == "GET";
    if (path == "/api/ports" && get) return Ports();
    if (path == "/api/operations" && get) return Response::Json(200, json::Write(operations_.Snapshot()));
    if (path == "/api/events" && get) return Events();
    if (get) return std::nullopt;
    if (path == "/api/ports/probe") return Probe(request);
    if (path == "/api/read") return Read(request);
    if (path == "/api/program/check") return CheckStudy(request, false);
    if (path == "/api/program") return CheckStudy(request, true);
    if (path == "/api/discharge") return Discharge(request);
    if (path == "/api/cancel") return Control(request, true);
    if (path == "/api/answer") return Control(request, false);
    return std::nullopt;
}

Response CounterApi::Ports() {
    const Value snapshot = operations_.Snapshot();
    const Value* known = snapshot.Find("ports");
    Value ports = Value::Array();
    for (uint32_t n = 1; n <= cli::kHighestComNumber; ++n) {
        const std::string device = cli::ExistingDevice(n);
        if (device.empty()) continue;
        Value port = Value::Object();
        port.Set("port", Value::String(PortName(n)));
        port.Set("device", Value::String(device));
        if (const Value* state = known->Find(PortName(n))) {
            for (const auto& [name, value] : state->Members()) port.Set(name, value);
        }
        ports.Add(std::move(port));
    }
    Value body = Value::Object();
    body.Set("version", *snapshot.Find("version"));
    body.Set("ports", std::move(ports));
    return Response::Json(200, json::Write(body));
}

Response CounterApi::Started(CounterOperations::Start start, uint32_t com) {
    if (start == CounterOperations::Start::kBusy) {
        Response busy = Response::Error(409,
                                        PortName(com) + " is busy: a " + operations_.Busy(com) +
                                            " runs there. Wait for it to end, or cancel it.",
                                        "port");
        return busy;
    }
    if (start == CounterOperations::Start::kStopping) return Response::Error(503, "tallyx ui is ending");
    Value body = Value::Object();
    body.Set("port", Value::String(PortName(com)));
    body.Set("started", Value::Bool(true));
    return Response::Json(202, json::Write(body));
}

Response CounterApi::Probe(const Request& request) {
    RequestFields fields;
    if (!fields.Parse(request, {"port"})) return fields.Refusal();
    std::vector<uint32_t> ports;
    if (fields.Member("port") != nullptr) {
        uint32_t com = 0;
        if (!fields.Port(com)) return fields.Refusal();
        ports.push_back(com);
    } else {
        for (uint32_t n = 1; n <= cli::kHighestComNumber; ++n)
            if (!cli::ExistingDevice(n).empty()) ports.push_back(n);
    }
    Value started = Value::Array();
    Value busy = Value::Array();
    for (uint32_t com : ports) {
        const CounterOperations::Start start = operations_.Probe(com);
        if (start == CounterOperations::Start::kStopping) return Response::Error(503, "tallyx ui is ending");
        (start == CounterOperations::Start::kStarted ? started : busy).Add(Value::String(PortName(com)));
    }
    Value body = Value::Object();
    body.Set("probing", std::move(started));
    body.Set("busy", std::move(busy));
    return Response::Json(202, json::Write(body));
}

Response CounterApi::Read(const Request& request) {
    RequestFields fields;
    uint32_t com = 0;
    bool metric = false;
    if (!fields.Parse(request, {"port", "metric"}) || !fields.Port(com) || !fields.Bool("metric", metric, false))
        return fields.Refusal();
    return Started(operations_.Read(com, metric), com);
}

Response CounterApi::CheckStudy(const Request& request, bool program) {
    RequestFields fields;
    uint32_t com = 0;
    if (program ? !fields.Parse(request, {"port", "settings"}) || !fields.Port(com)
                : !fields.Parse(request, {"settings"}))
        return fields.Refusal();
    const Value* given = fields.Member("settings");
    if (given == nullptr || !given->IsObject()) {
        fields.Refuse("settings", "settings must be an object of study settings");
        return fields.Refusal();
    }
    study::StudySettings settings;
    for (const auto& [key, value] : given->Members()) {
        const std::string canonical = study::CanonicalStudyKey(key);
        if (canonical.empty() || canonical != key) {
            fields.Refuse(key, "'" + key + "' is not a study setting");
            return fields.Refusal();
        }
        if (!value.IsString()) {
            fields.Refuse(key, key + " must be a text");
            return fields.Refusal();
        }
        if (value.AsString().size() > kLongestSetting) {
            fields.Refuse(key, key + " is longer than " + std::to_string(kLongestSetting) + " characters");
            return fields.Refusal();
        }
        std::string error;
        // An empty field is a setting not given.
        if (!value.AsString().empty()) settings.Set(key, value.AsString(), key, error);
    }
    // Every setting through the rules of tallyx program, in a context of its own
    // that opens no port.
    study::StudySettings checked = settings;
    cli::Session scratch;
    const std::vector<cli::StudyProblem> problems = cli::ApplyStudySettings(checked, scratch, true);
    if (!problems.empty()) {
        Value body = Value::Object();
        body.Set("error", Value::String("the study has " + std::to_string(problems.size()) + " problem" +
                                        (problems.size() == 1 ? "" : "s") + "; nothing was sent to the counter"));
        body.Set("field", Value::String(problems.front().key));
        Value byField = Value::Object();
        for (const cli::StudyProblem& p : problems)
            if (byField.Find(p.key) == nullptr) byField.Set(p.key, Value::String(p.reason));
        body.Set("fields", std::move(byField));
        return Response::Json(400, json::Write(body));
    }
    if (!program) {
        Value body = Value::Object();
        body.Set("ok", Value::Bool(true));
        return Response::Json(200, json::Write(body));
    }
    return Started(operations_.Program(com, std::move(settings)), com);
}

Response CounterApi::Discharge(const Request& request) {
    RequestFields fields;
    uint32_t com = 0;
    std::string action;
    if (!fields.Parse(request, {"port", "action"}) || !fields.Port(com) || !fields.Text("action", action, 8, true))
        return fields.Refusal();
    if (action != "start" && action != "stop") {
        fields.Refuse("action", "action must be start or stop");
        return fields.Refusal();
    }
    return Started(operations_.Discharge(com, action == "start"), com);
}

Response CounterApi::Control(const Request& request, bool cancel) {
    RequestFields fields;
    uint32_t com = 0;
    bool proceed = false;
    if (!fields.Parse(request, cancel ? std::initializer_list<std::string_view>{"port"}
                                      : std::initializer_list<std::string_view>{"port", "proceed"}) ||
        !fields.Port(com) || (!cancel && !fields.Bool("proceed", proceed, true)))
        return fields.Refusal();
    const bool done = cancel ? operations_.Cancel(com) : operations_.Answer(com, proceed);
    if (!done)
        return Response::Error(409, cancel ? PortName(com) + ": nothing runs there to cancel"
                                           : PortName(com) + ": no question waits for an answer there",
                               "port");
    Value body = Value::Object();
    body.Set("port", Value::String(PortName(com)));
    return Response::Json(200, json::Write(body));
}

Response CounterApi::Events() {
    Response response;
    response.stream = std::make_shared<OperationEvents>(operations_);
    return response;
}

}  // namespace tallyx::ui

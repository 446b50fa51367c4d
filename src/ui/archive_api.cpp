#include "ui/archive_api.h"

#include "cli/archive_access.h"
#include "cli/archive_json.h"
#include "cli/commands.h"
#include "cli/tmg_command.h"
#include "report/report_html.h"
#include "report/report_json.h"
#include "report/study_figures.h"
#include "study/civil_time.h"
#include "study/folder_writer.h"
#include "ui/request_fields.h"

namespace tallyx::ui {

using json::Value;
using server::Request;
using server::Response;

namespace {

// A positive archive id of at most 18 digits; 0 for anything else.
int64_t IdOf(const std::string& text) {
    if (text.empty() || text.size() > 18) return 0;
    int64_t id = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return 0;
        id = id * 10 + (c - '0');
    }
    return id;
}

Response Failure(const std::string& error) {
    return archive::IsNoSuchEntry(error) ? Response::Error(404, error) : Response::Error(500, "the archive failed: " + error);
}

struct Download {
    const char* name;
    const char* contentType;
};
constexpr Download kDownloads[] = {
    {"report.html", "text/html; charset=utf-8"},
    {"report.json", "application/json"},
    {"sequential.csv", "text/csv; charset=utf-8"},
    {"periodic.csv", "text/csv; charset=utf-8"},
    {"volume.tmg", "text/plain; charset=utf-8"},
};

}  // namespace

std::optional<Response> ArchiveApi::Handle(const Request& request) {
    const std::string& path = request.path;
    const bool get = request.method == "GET";
    if (path == "/api/studies" && get) return Studies(request);
    if (path == "/api/counters" && get) return Counters();
    if (path == "/api/sites" && get) return Sites();
    for (const char* prefix : {"/api/studies/", "/api/sites/"}) {
        const std::string head(prefix);
        if (path.rfind(head, 0) != 0) continue;
        const std::string rest = path.substr(head.size());
        const size_t slash = rest.find('/');
        const int64_t id = IdOf(rest.substr(0, slash));
        if (id == 0) return Response::Error(404, "no such entry of the archive: " + path);
        if (head == "/api/sites/") {
            if (slash != std::string::npos) return std::nullopt;
            return get ? Site(id) : EditSite(id, request);
        }
        if (!get) return std::nullopt;
        if (slash == std::string::npos) return Study(id);
        const std::string file = rest.substr(slash + 1);
        if (file.rfind("files/", 0) == 0) return File(id, file.substr(6), request.Query("view") == "1");
        return std::nullopt;
    }
    return std::nullopt;
}

archive::Archive* ArchiveApi::Store(Response& failure) {
    if (store_) return store_.get();
    std::string error;
    archive::DatabaseFault fault = archive::DatabaseFault::kNone;
    store_ = archive::Archive::Open(cli::ArchivePath(option_), error, fault);
    if (!store_) failure = Response::Error(503, "the archive cannot be opened: " + error);
    return store_.get();
}

Response ArchiveApi::Studies(const Request& request) {
    archive::ListFilter filter;
    for (const auto& [name, field] : {std::pair{"site", &filter.site}, std::pair{"counter", &filter.counter},
                                      std::pair{"from", &filter.from}, std::pair{"to", &filter.to}}) {
        *field = request.Query(name);
        if (field->size() > 100) return Response::Error(400, std::string(name) + " is longer than 100 characters", name);
        const bool day = std::string(name) == "from" || std::string(name) == "to";
        if (day && !field->empty() && !study::IsDayText(*field))
            return Response::Error(400, std::string(name) + " '" + *field + "': a day YYYY-MM-DD is expected", name);
    }
    for (const auto& [name, value] : request.query) {
        if (name != "site" && name != "counter" && name != "from" && name != "to")
            return Response::Error(400, "'" + name + "' is not a filter of the study list", name);
    }
    Response failure;
    archive::Archive* store = Store(failure);
    if (store == nullptr) return failure;
    std::string error;
    const std::vector<archive::StudyEntry> entries = store->List(filter, error);
    if (!error.empty()) return Failure(error);
    Value list = Value::Array();
    for (const archive::StudyEntry& e : entries) list.Add(cli::EntryJson(e));
    Value body = Value::Object();
    body.Set("studies", std::move(list));
    return Response::Json(200, json::Write(body));
}

bool ArchiveApi::LoadStudy(int64_t id, Response& failure) {
    archive::Archive* store = Store(failure);
    if (store == nullptr) return false;
    std::string error;
    const std::optional<archive::StudyEntry> entry = store->Find(id, error);
    // The id of a removed study is given to the next one archived: the study kept
    // here is the one asked for only while its entry is the same.
    if (entry && loaded_ && loadedId_ == id && entry_ == *entry) return true;
    auto study = std::make_unique<study::Study>();
    if (!entry || !store->Load(id, *study, error)) {
        failure = Failure(error);
        return false;
    }
    entry_ = *entry;
    document_ = report::ReportDocument(*study, report::ComputeFigures(*study));
    loaded_ = std::move(study);
    loadedId_ = id;
    return true;
}

Response ArchiveApi::Study(int64_t id) {
    Response failure;
    if (!LoadStudy(id, failure)) return failure;
    Value body = Value::Object();
    body.Set("study", cli::EntryJson(entry_));
    body.Set("report", document_);
    // The settings as a study file holds them: the program form starts from these.
    Value settings = Value::Object();
    for (const auto& [key, value] : study::StudyFileValues(*loaded_)) settings.Set(key, Value::String(value));
    body.Set("settings", std::move(settings));
    std::string error;
    if (const std::optional<archive::SiteEntry> site = store_->Site(entry_.siteId, error))
        body.Set("site", cli::SiteJson(*site));
    Value files = Value::Array();
    for (const Download& download : kDownloads) files.Add(Value::String(download.name));
    body.Set("files", std::move(files));
    return Response::Json(200, json::Write(body));
}

Response ArchiveApi::File(int64_t id, const std::string& name, bool view) {
    const Download* download = nullptr;
    for (const Download& d : kDownloads)
        if (name == d.name) download = &d;
    if (download == nullptr) return Response::Error(404, "a study has no file '" + name + "'");
    Response failure;
    if (!LoadStudy(id, failure)) return failure;
    Response response;
    response.contentType = download->contentType;
    if (name == "report.html") {
        response.body = report::ReportHtml(document_);
    } else if (name == "report.json") {
        response.body = report::ReportJsonText(document_);
    } else if (name == "sequential.csv") {
        response.body = study::VehicleFileText(*loaded_, false);
    } else if (name == "periodic.csv") {
        response.body = study::PeriodFileText(*loaded_, false);
    } else {
        std::string error;
        const std::optional<archive::SiteEntry> site = store_->Site(entry_.siteId, error);
        if (!site) return Failure(error);
        if (!cli::TmgTextOfSite(*loaded_, *site, "study " + std::to_string(id), response.body, error)) {
            // The site's codes are kept in the register: say which is missing.
            return Response::Error(409, "no volume records for study " + std::to_string(id) + ": " + error +
                                            ". Set the site's codes in the register first.",
                                   "site");
        }
    }
    if (view && name == "report.html") {
        // Opened in a tab of its own, sandboxed: its own inline script and styles, and nothing of this server.
        response.headers.emplace_back("Content-Security-Policy",
                                      "sandbox allow-scripts allow-modals; default-src 'none'; script-src 'unsafe-inline'; "
                                      "style-src 'unsafe-inline'; img-src data:; frame-ancestors 'self'");
    } else {
        response.headers.emplace_back("Content-Disposition",
                                      "attachment; filename=\"study-" + std::to_string(id) + "-" + name + "\"");
    }
    return response;
}

Response ArchiveApi::Counters() {
    Response failure;
    archive::Archive* store = Store(failure);
    if (store == nullptr) return failure;
    std::string error;
    const std::vector<archive::CounterEntry> counters = store->Counters(error);
    if (!error.empty()) return Failure(error);
    Value list = Value::Array();
    for (const archive::CounterEntry& c : counters) list.Add(cli::CounterJson(c));
    Value body = Value::Object();
    body.Set("counters", std::move(list));
    return Response::Json(200, json::Write(body));
}

Response ArchiveApi::Sites() {
    Response failure;
    archive::Archive* store = Store(failure);
    if (store == nullptr) return failure;
    std::string error;
    const std::vector<archive::SiteEntry> sites = store->Sites(error);
    if (!error.empty()) return Failure(error);
    Value list = Value::Array();
    for (const archive::SiteEntry& s : sites) list.Add(cli::SiteJson(s));
    Value fields = Value::Array();
    for (const archive::SiteField& field : archive::SiteFields()) {
        Value f = Value::Object();
        f.Set("key", Value::String(field.key));
        f.Set("help", Value::String(field.help));
        fields.Add(std::move(f));
    }
    Value body = Value::Object();
    body.Set("sites", std::move(list));
    body.Set("fields", std::move(fields));
    return Response::Json(200, json::Write(body));
}

Response ArchiveApi::Site(int64_t id) {
    Response failure;
    archive::Archive* store = Store(failure);
    if (store == nullptr) return failure;
    std::string error;
    const std::optional<archive::SiteEntry> site = store->Site(id, error);
    if (!site) return Failure(error);
    return Response::Json(200, json::Write(cli::SiteJson(*site)));
}

Response ArchiveApi::EditSite(int64_t id, const Request& request) {
    RequestFields fields;
    if (!fields.Parse(request, {"fields"})) return fields.Refusal();
    const Value* given = fields.Member("fields");
    if (given == nullptr || !given->IsObject() || given->Members().empty()) {
        fields.Refuse("fields", "fields must be an object of site fields to set");
        return fields.Refusal();
    }
    // Every field is checked before any is stored.
    std::vector<std::pair<std::string, std::string>> changes;
    for (const auto& [key, value] : given->Members()) {
        bool known = false;
        for (const archive::SiteField& field : archive::SiteFields()) known = known || key == field.key;
        if (!known) {
            fields.Refuse(key, "'" + key + "' is not a site field");
            return fields.Refusal();
        }
        if (!value.IsString() || value.AsString().size() > 64) {
            fields.Refuse(key, key + " must be a text of at most 64 characters");
            return fields.Refusal();
        }
        std::string normalised, error;
        if (!cli::NormaliseSiteField(key, value.AsString(), normalised, error)) {
            fields.Refuse(key, error);
            return fields.Refusal();
        }
        changes.emplace_back(key, normalised);
    }
    Response failure;
    archive::Archive* store = Store(failure);
    if (store == nullptr) return failure;
    std::string error;
    if (!store->SetSiteFields(id, changes, error)) return Failure(error);
    loadedId_ = 0;  // a study's volume records follow its site's codes
    loaded_.reset();
    return Site(id);
}

}  // namespace tallyx::ui

// tallyx archive: the studies kept in the archive, the fleet of counters and
// the register of sites: import read folders, list and show studies, export
// one back into a folder, remove one, and keep the sites' codes.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/archive_access.h"
#include "cli/archive_json.h"
#include "cli/atomic_file.h"
#include "cli/commands.h"
#include "cli/tmg_record.h"
#include "json/json_value.h"
#include "platform/calendar_time.h"
#include "platform/console.h"
#include "platform/file_status.h"
#include "platform/files.h"
#include "study/folder_loader.h"
#include "study/folder_writer.h"

namespace tallyx::cli {

namespace {

namespace fs = std::filesystem;
using json::Value;

std::string ShortTime(const std::string& text) { return text.substr(0, 16); }

// The local time a file was written, "YYYY-MM-DD hh:mm:ss".
std::string FileTimeText(const std::string& path) {
    const FileStatus status = QueryFileStatus(path);
    if (!status.exists) return archive::LocalTimeNow();
    const CalendarTime t = LocalCalendarTimeAt(status.createdSeconds, status.createdNanoseconds);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.year}, unsigned{t.month},
                  unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second});
    return text;
}

int Import(archive::Archive& store, const std::vector<std::string>& folders) {
    if (folders.empty()) return Fail(kExitUsage, "archive import: name at least one read folder");
    int status = kExitOk;
    for (const std::string& folder : folders) {
        study::Study study;
        std::string error;
        if (!study::LoadFolder(folder, study, error)) {
            std::fprintf(stderr, "tallyx: error: %s\n", error.c_str());
            status = status == kExitOk ? kExitUsage : status;
            continue;
        }
        archive::ReadFacts facts;
        const bool tallyread = study.form == study::FolderForm::kTallyread;
        const std::string records = fs::exists(JoinPath(folder, "sequential.csv")) ? JoinPath(folder, "sequential.csv")
                                    : fs::exists(JoinPath(folder, "sequential.xml")) ? JoinPath(folder, "sequential.xml")
                                                                                 : JoinPath(JoinPath(folder, "data"), "sequential.csv");
        facts.readAt = FileTimeText(records);
        facts.program = tallyread ? "tallyread" : "tallyx read";
        const int one = ArchiveStudy(store, study, facts, folder);
        if (one != kExitOk) status = one;
    }
    return status;
}

bool CheckDay(const char* option, const std::string& text, std::string& error) {
    if (text.empty()) return true;
    if (!study::IsDayText(text)) {
        error = std::string(option) + " '" + text + "': a day YYYY-MM-DD is expected";
        return false;
    }
    return true;
}

int List(archive::Archive& store, const ArchiveOptions& o) {
    std::string error;
    if (!CheckDay("--from", o.filter.from, error) || !CheckDay("--to", o.filter.to, error)) return Fail(kExitUsage, error);
    const std::vector<archive::StudyEntry> entries = store.List(o.filter, error);
    if (!error.empty()) return ArchiveFailure("cannot list the archive " + store.Path() + ": " + error);
    if (o.json) {
        Value list = Value::Array();
        for (const archive::StudyEntry& e : entries) list.Add(EntryJson(e));
        std::printf("%s\n", json::Write(list, 2).c_str());
        return kExitOk;
    }
    if (entries.empty()) {
        std::printf("No studies%s in %s.\n", o.filter.site.empty() && o.filter.counter.empty() && o.filter.from.empty() &&
                                                    o.filter.to.empty() ? "" : " match",
                    store.Path().c_str());
        return kExitOk;
    }
    std::printf("%6s  %-16s  %-16s  %-14s %9s  %s\n", "ID", "Begin", "End", "Counter", "Vehicles", "Site");
    for (const archive::StudyEntry& e : entries) {
        std::printf("%6lld  %-16s  %-16s  %-14s %9llu  %s\n", static_cast<long long>(e.id), ShortTime(e.begin).c_str(),
                    ShortTime(e.end).c_str(), e.serial.c_str(), static_cast<unsigned long long>(e.vehicles), e.site.c_str());
    }
    std::printf("%zu stud%s\n", entries.size(), entries.size() == 1 ? "y" : "ies");
    return kExitOk;
}

int Show(archive::Archive& store, const ArchiveOptions& o) {
    std::string error;
    const std::optional<archive::StudyEntry> entry = store.Find(o.id, error);
    if (!entry) return LookupFailure(error);
    study::Study study;
    if (!store.Load(o.id, study, error)) return ArchiveFailure(error);
    if (o.json) {
        Value document = EntryJson(*entry);
        Value settings = Value::Object();
        for (const study::SettingField& field : study::SettingFields())
            settings.Set(field.name, Value::String(study.Setting(field.key)));
        document.Set("settings", std::move(settings));
        std::printf("%s\n", json::Write(document, 2).c_str());
        return kExitOk;
    }
    std::printf("Study %lld\n", static_cast<long long>(entry->id));
    std::printf("  Counter       %s (%s)\n", entry->serial.c_str(), entry->unitType.c_str());
    std::printf("  Site          %s (site %lld)\n", entry->site.c_str(), static_cast<long long>(entry->siteId));
    std::printf("  Study         %s to %s, periods of %s min\n", entry->begin.c_str(), entry->end.c_str(),
                study.Setting(study::SettingKey::kPeriodMinutes).c_str());
    std::printf("  Vehicles      %llu, periods %llu, %s\n", static_cast<unsigned long long>(entry->vehicles),
                static_cast<unsigned long long>(entry->periods), entry->metric ? "metric (km/h, dm)" : "US (mph, ft)");
    std::printf("  Read          %s by %s (archived %s)\n", entry->readAt.c_str(), entry->program.c_str(),
                entry->archivedAt.c_str());
    std::printf("  Battery       %s V%s\n", study.Setting(study::SettingKey::kBatteryVoltage).empty() ? "-" : study.Setting(study::SettingKey::kBatteryVoltage).c_str(),
                study.Setting(study::SettingKey::kBatteryPercent).empty() ? "" : (", " + study.Setting(study::SettingKey::kBatteryPercent) + " %").c_str());
    std::printf("  Bins          speed %s, length %s; posted limit %s\n", study.Setting(study::SettingKey::kSpeedBins).c_str(),
                study.Setting(study::SettingKey::kLengthBins).c_str(), study.Setting(study::SettingKey::kSpeedLimit).c_str());
    return kExitOk;
}

std::string OffsetText(const std::optional<int64_t>& seconds) {
    if (!seconds) return "unknown";
    return (*seconds >= 0 ? "+" : "") + std::to_string(*seconds) + " s";
}

int Counters(archive::Archive& store, const ArchiveOptions& o) {
    std::string error;
    const std::vector<archive::CounterEntry> counters = store.Counters(error);
    if (!error.empty()) return ArchiveFailure("cannot read the counters of " + store.Path() + ": " + error);
    if (o.json) {
        Value list = Value::Array();
        for (const archive::CounterEntry& c : counters) list.Add(CounterJson(c));
        std::printf("%s\n", json::Write(list, 2).c_str());
        return kExitOk;
    }
    if (counters.empty()) {
        std::printf("No counters in %s yet: tallyx read and tallyx archive import add them.\n", store.Path().c_str());
        return kExitOk;
    }
    for (const archive::CounterEntry& c : counters) {
        std::printf("%s (%s, firmware %s): %llu stud%s, last read %s%s%s\n", c.serial.empty() ? "(no serial)" : c.serial.c_str(),
                    c.unitType.c_str(), c.firmware.empty() ? "-" : c.firmware.c_str(),
                    static_cast<unsigned long long>(c.studies), c.studies == 1 ? "y" : "ies", c.lastSeen.c_str(),
                    c.lastSite.empty() ? "" : " at ", c.lastSite.c_str());
        for (const archive::BatteryReading& r : c.readings) {
            std::printf("  %s  battery %s V%s  clock %s\n", r.readAt.c_str(), r.voltage.empty() ? "-" : r.voltage.c_str(),
                        r.percent.empty() ? "" : (", " + r.percent + " %").c_str(), OffsetText(r.clockOffsetSeconds).c_str());
        }
    }
    return kExitOk;
}

void PrintSite(const archive::SiteEntry& s) {
    std::printf("Site %lld: %s, %llu stud%s%s%s\n", static_cast<long long>(s.id), s.Label().c_str(),
                static_cast<unsigned long long>(s.studies), s.studies == 1 ? "y" : "ies",
                s.lastStudy.empty() ? "" : ", the last from ", ShortTime(s.lastStudy).c_str());
    for (const auto& [key, value] : s.fields) std::printf("  %-18s %s\n", key.c_str(), value.empty() ? "-" : value.c_str());
}

int Sites(archive::Archive& store, const ArchiveOptions& o) {
    std::string error;
    const std::vector<archive::SiteEntry> sites = store.Sites(error);
    if (!error.empty()) return ArchiveFailure("cannot read the sites of " + store.Path() + ": " + error);
    if (o.json) {
        Value list = Value::Array();
        for (const archive::SiteEntry& s : sites) list.Add(SiteJson(s));
        std::printf("%s\n", json::Write(list, 2).c_str());
        return kExitOk;
    }
    if (sites.empty()) std::printf("No sites in %s yet.\n", store.Path().c_str());
    for (const archive::SiteEntry& s : sites) PrintSite(s);
    return kExitOk;
}

int Site(archive::Archive& store, const ArchiveOptions& o) {
    std::string error;
    std::vector<std::pair<std::string, std::string>> changes;
    for (const std::string& assignment : o.sets) {
        const size_t equals = assignment.find('=');
        std::string normalised;
        if (equals == std::string::npos) return Fail(kExitUsage, "--set '" + assignment + "': KEY=VALUE is expected");
        const std::string key = assignment.substr(0, equals);
        if (!NormaliseSiteField(key, assignment.substr(equals + 1), normalised, error)) return Fail(kExitUsage, error);
        changes.emplace_back(key, normalised);
    }
    if (!store.SetSiteFields(o.id, changes, error))
        return archive::IsNoSuchEntry(error) ? Fail(kExitUsage, error)
                                             : ArchiveFailure("cannot change site " + std::to_string(o.id) + ": " + error);
    const std::optional<archive::SiteEntry> site = store.Site(o.id, error);
    if (!site) return ArchiveFailure(error);
    if (o.json) {
        std::printf("%s\n", json::Write(SiteJson(*site), 2).c_str());
    } else {
        PrintSite(*site);
    }
    return kExitOk;
}

// Writes the folder's files into a new folder beside the target, then renames it into place.
int Export(archive::Archive& store, const ArchiveOptions& o) {
    if (o.out.empty()) return Fail(kExitUsage, "archive export: --out FOLDER is needed");
    std::error_code failure;
    if (fs::exists(o.out, failure) && !(fs::is_directory(o.out, failure) && fs::is_empty(o.out, failure)))
        return Fail(kExitUsage, "archive export: " + o.out + " already exists and is not an empty folder");
    study::Study study;
    std::string error;
    if (!store.Load(o.id, study, error)) return LookupFailure(error);
    const fs::path target(o.out);
    const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (!MakeFolders(parent.string(), error)) return Fail(kExitFiles, error);
    const std::string staging = (parent / (target.filename().string() + ".part-export")).string();
    fs::remove_all(staging, failure);
    if (!MakeFolders(staging, error)) return Fail(kExitFiles, error);
    const bool xml = study.form == study::FolderForm::kXml;
    const char* extension = xml ? ".xml" : ".csv";
    std::vector<std::pair<std::string, std::string>> files;
    if (study.form == study::FolderForm::kTallyread) {
        files.emplace_back("study.txt", study::StudyTextLines(study));
    } else {
        files.emplace_back("settings.json", study::SettingsJsonText(study));
        files.emplace_back("study.conf", study::StudyConfText(study));
    }
    files.emplace_back(std::string("sequential") + extension, study::VehicleFileText(study, xml));
    if (study.hasPeriodFile) files.emplace_back(std::string("periodic") + extension, study::PeriodFileText(study, xml));
    for (const auto& [name, text] : files) {
        AtomicFile file(JoinPath(staging, name.c_str()));
        if (!file.Open() || !file.Write(text) || !file.Commit()) {
            fs::remove_all(staging, failure);
            return Fail(kExitFiles, "cannot write " + JoinPath(staging, name.c_str()) + ": " + std::strerror(errno));
        }
    }
    if (fs::exists(target, failure)) fs::remove(target, failure);
    fs::rename(staging, target, failure);
    if (failure) {
        fs::remove_all(staging, failure);
        return Fail(kExitFiles, "cannot move the exported study into " + o.out);
    }
    std::printf("Exported study %lld (%zu vehicles) into %s\n", static_cast<long long>(o.id), study.vehicles.size(),
                o.out.c_str());
    return kExitOk;
}

int Remove(archive::Archive& store, const ArchiveOptions& o) {
    std::string error;
    const std::optional<archive::StudyEntry> entry = store.Find(o.id, error);
    if (!entry) return LookupFailure(error);
    if (!o.yes) {
        if (!IsTerminal(stdin)) {
            return Fail(kExitUsage, "archive remove: give --yes to remove study " + std::to_string(o.id) +
                                        " without a terminal to ask on");
        }
        std::fprintf(stderr, "Remove study %lld (%s, %s to %s, %llu vehicles) from %s? [y/N] ", static_cast<long long>(o.id),
                     entry->serial.c_str(), ShortTime(entry->begin).c_str(), ShortTime(entry->end).c_str(),
                     static_cast<unsigned long long>(entry->vehicles), store.Path().c_str());
        char answer[16] = {0};
        if (std::fgets(answer, sizeof answer, stdin) == nullptr || (answer[0] != 'y' && answer[0] != 'Y')) {
            std::fprintf(stderr, "tallyx: nothing was removed.\n");
            return kExitStopped;
        }
    }
    if (!store.Remove(o.id, error)) return ArchiveFailure("cannot remove study " + std::to_string(o.id) + ": " + error);
    std::printf("Removed study %lld from %s\n", static_cast<long long>(o.id), store.Path().c_str());
    return kExitOk;
}

}  // namespace

bool NormaliseSiteField(const std::string& key, const std::string& value, std::string& out, std::string& error) {
    out.clear();
    if (value.empty()) return true;  // clears the field
    std::string problem;
    auto fail = [&](const std::string& expected) {
        error = "site field " + key + " '" + value + "': " + expected;
        return false;
    };
    if (key == "fips-state") {
        if (!NormaliseStateCode(value, out, problem)) return fail("a state's two-digit FIPS code is expected (39 Ohio)");
        return true;
    }
    if (key == "station") {
        if (!NormaliseStationId(value, out, problem)) return fail("1 to 6 letters or digits are expected");
        return true;
    }
    if (key == "class") {
        if (!NormaliseFunctionalClass(value, out, problem)) return fail("a digit 1-7 and R or U is expected, e.g. 3U");
        return true;
    }
    if (key == "forward-direction" || key == "reverse-direction") {
        if (value.size() != 1 || value[0] < '1' || value[0] > '8') return fail("a direction 1-8 is expected (1 N, 3 E, 5 S, 7 W)");
        out = value;
        return true;
    }
    if (key == "lane-code") {
        if (value.size() != 1 || value[0] < '0' || value[0] > '9') return fail("a lane 0-9 is expected (0 all lanes)");
        out = value;
        return true;
    }
    if (key == "latitude" || key == "longitude") {
        double number = 0;
        const auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), number);
        const double limit = key == "latitude" ? 90 : 180;
        if (failure != std::errc() || end != value.data() + value.size() || !(number >= -limit && number <= limit))
            return fail(key == "latitude" ? "decimal degrees from -90 to 90 are expected"
                                          : "decimal degrees from -180 to 180 are expected");
        out = value;
        return true;
    }
    std::string keys;
    for (const archive::SiteField& field : archive::SiteFields()) keys += std::string(keys.empty() ? "" : ", ") + field.key;
    error = "--set " + key + ": no such site field (" + keys + ")";
    return false;
}

int RunArchive(const ArchiveOptions& o) {
    int status = kExitOk;
    std::unique_ptr<archive::Archive> store = OpenArchive(o.archive, status);
    if (!store) return status;
    if (o.action == "import") return Import(*store, o.folders);
    if (o.action == "list") return List(*store, o);
    if (o.action == "show") return Show(*store, o);
    if (o.action == "counters") return Counters(*store, o);
    if (o.action == "sites") return Sites(*store, o);
    if (o.action == "site") return Site(*store, o);
    if (o.action == "export") return Export(*store, o);
    if (o.action == "remove") return Remove(*store, o);
    return Fail(kExitUsage, "archive: unknown action " + o.action);
}

}  // namespace tallyx::cli

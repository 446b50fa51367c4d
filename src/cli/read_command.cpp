// tallyx read: a full read of a counter into a folder: the sequential and
// periodic records, the study and unit settings as JSON, and a study file that
// tallyx program takes to program the same study again.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/atomic_file.h"
#include "cli/commands.h"
#include "cli/json_text.h"
#include "cli/read_summary.h"
#include "cli/study_file.h"
#include "platform/calendar_time.h"
#include "platform/files.h"

namespace tallyx::cli {

namespace {

std::string DefaultFolder(const std::string& serial) {
    std::string name;
    for (char c : serial) name += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
    if (name.empty()) name = "counter";
    const CalendarTime now = LocalCalendarTimeNow();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", unsigned{now.year}, unsigned{now.month},
                  unsigned{now.day}, unsigned{now.hour}, unsigned{now.minute}, unsigned{now.second});
    return name + "-" + stamp;
}

bool MakeFolder(const std::string& path, std::string& error) {
    std::string partial;
    for (size_t at = 0; at != std::string::npos;) {
        size_t next = at + 1;
        while (next < path.size() && !IsPathSeparator(path[next])) ++next;
        at = next < path.size() ? next : std::string::npos;
        partial = path.substr(0, at);
        if (partial.empty()) continue;
        if (!tallyx::MakeFolder(partial)) {
            error = "cannot create the folder " + partial + ": " + LastFileErrorText();
            return false;
        }
    }
    return true;
}

// The lines of one kind, written into its file as they come from the library.
class RecordFile {
public:
    RecordFile(Session& session, const std::string& path, const char* kind, bool xml, const char* root)
        : session_(session), file_(path), kind_(kind), xml_(xml), root_(root) {}

    // 0, or the library's failure; error set for a file that cannot be written.
    int32_t Write(std::string& error, ReadSummary* summary) {
        if (!file_.Open()) {
            error = "cannot write " + file_.Path() + ": " + std::strerror(errno);
            return RETCODE_OK;
        }
        std::vector<char> line(102400);
        const uint32_t size = static_cast<uint32_t>(line.size());
        if (xml_) file_.Write("<?xml version=\"1.0\"?>\n<" + std::string(root_) + ">\n");
        int32_t result = GetFirstValue(session_.Handle(), kind_, xml_ ? GETVALUE_FORMAT_XML : GETVALUE_FORMAT_CSV,
                                       line.data(), size);
        while (result == RETCODE_OK) {
            if (session_.Interrupted()) return RETCODE_ABORTED;
            if (summary != nullptr) summary->Add(line.data());
            file_.Write(std::string(line.data()) + "\n");
            result = GetNextValue(session_.Handle(), line.data(), size);
        }
        if (result != RETCODE_NOMOREVALUES) return result;
        if (xml_) file_.Write("</" + std::string(root_) + ">\n");
        return RETCODE_OK;
    }

    bool Commit(std::string& error) {
        if (file_.Commit()) return true;
        error = "cannot write " + file_.Path() + ": " + std::strerror(errno);
        return false;
    }

private:
    Session& session_;
    AtomicFile file_;
    const char* kind_;
    bool xml_;
    const char* root_;
};

struct Field {
    const char* name;
    const char* property;
};

const Field kUnitFields[] = {
    {"serialNumber", PROPERTY_DEV_SERIALNO},     {"unitType", PROPERTY_DEV_UNITTYPE},
    {"firmware", PROPERTY_DEV_FIRMWAREREV},      {"batteryVoltage", PROPERTY_DEV_BATTERYVOLTAGE},
    {"batteryPercent", PROPERTY_DEV_BATTERYPERCENT}, {"chargeRegister", PROPERTY_DEV_ACR},
};
const Field kStudyFields[] = {
    {"type", PROPERTY_STUDY_TYPE},
    {"finishCode", PROPERTY_STUDY_FCODE},
    {"begin", PROPERTY_STUDY_BEGINDATETIME},
    {"end", PROPERTY_STUDY_ENDDATETIME},
    {"rangeMinutes", PROPERTY_STUDY_RANGETIME},
    {"periodMinutes", PROPERTY_STUDY_PERIODTIME},
    {"records", PROPERTY_STUDY_NUMRECORDS},
    {"units", PROPERTY_STUDY_MEASUREMENTUNITS},
    {"speedBins", PROPERTY_STUDY_SPEEDBINS},
    {"lengthBins", PROPERTY_STUDY_LENGTHBINS},
    {"speedLimit", PROPERTY_STUDY_SPEEDLIMIT},
    {"state", PROPERTY_STUDY_STATE},
    {"city", PROPERTY_STUDY_CITY},
    {"county", PROPERTY_STUDY_COUNTY},
    {"address", PROPERTY_STUDY_ADDRESS},
    {"lane", PROPERTY_STUDY_LANE},
    {"operator", PROPERTY_STUDY_OPERATOR},
};

std::string SettingsJson(Session& session) {
    auto object = [&session](const auto& fields) {
        std::string text = "{\n";
        bool first = true;
        for (const Field& field : fields) {
            text += std::string(first ? "" : ",\n") + "    " + JsonString(field.name) + ": " +
                    JsonString(session.Get(field.property));
            first = false;
        }
        return text + "\n  }";
    };
    return "{\n  \"port\": " + JsonString(session.Port().Name()) + ",\n  \"unit\": " + object(kUnitFields) +
           ",\n  \"study\": " + object(kStudyFields) + "\n}\n";
}

// The study as a study file, in the units the properties are read in now.
std::string StudyFileText(Session& session, bool metric) {
    std::map<std::string, std::string> values;
    for (const StudyKey& key : StudyKeys()) {
        if (key.property != nullptr) values[key.key] = session.Get(key.property);
    }
    values["units"] = metric ? "metric" : "us";
    for (const char* time : {"begin", "end"}) values[time] = values[time].substr(0, 19);
    return StudySettings::Render(values, "Study read from " + session.Get(PROPERTY_DEV_SERIALNO) + " (" +
                                             session.Get(PROPERTY_DEV_UNITTYPE) + ")");
}

}  // namespace

int RunRead(const CommonOptions& options, const ReadOptions& read) {
    if (read.format != "csv" && read.format != "xml") {
        return Fail(kExitUsage, "--format: '" + read.format + "' is not csv or xml");
    }
    Session session;
    std::string error;
    if (const int status = session.Configure(options, error)) return Fail(status, error);
    const int32_t result = session.Read(TALLYX_READACTION_ALL, "Reading");
    if (result != RETCODE_OK) return ReportFailure(session, "Reading the counter", result);
    if (!session.Set(PROPERTY_STUDY_MEASUREMENTUNITS,
                     read.metric ? STUDY_MEASUREMENTUNITS_METRIC : STUDY_MEASUREMENTUNITS_US, "--metric", error)) {
        return Fail(kExitOther, error);
    }

    const std::string folder = read.out.empty() ? DefaultFolder(session.Get(PROPERTY_DEV_SERIALNO)) : read.out;
    const bool fresh = !PathExists(folder);
    if (!MakeFolder(folder, error)) return Fail(kExitFiles, error);
    // A folder made for this read goes again when the read leaves nothing in it.
    struct FolderGuard {
        const std::string& path;
        bool remove;
        ~FolderGuard() {
            if (remove) RemoveEmptyFolder(path);
        }
    } guard{folder, fresh};
    const bool xml = read.format == "xml";
    const std::string extension = xml ? ".xml" : ".csv";
    RecordFile sequential(session, JoinPath(folder, "sequential" + extension), GETVALUE_DATA_SEQUENTIAL, xml,
                          "SequentialRecords");
    RecordFile periodic(session, JoinPath(folder, "periodic" + extension), GETVALUE_DATA_PERIODIC, xml,
                        "PeriodicRecords");
    ReadSummary summary;
    uint64_t periods = 0;
    for (RecordFile* file : {&sequential, &periodic}) {
        const int32_t written = file->Write(error, file == &sequential && !xml ? &summary : nullptr);
        if (!error.empty()) return Fail(kExitFiles, error);
        if (written != RETCODE_OK) return ReportFailure(session, "Exporting the records", written);
    }
    if (xml) {
        // The summary comes from the CSV form of the same records.
        std::vector<char> line(102400);
        for (int32_t rc = GetFirstValue(session.Handle(), GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, line.data(),
                                        static_cast<uint32_t>(line.size()));
             rc == RETCODE_OK; rc = GetNextValue(session.Handle(), line.data(), static_cast<uint32_t>(line.size()))) {
            summary.Add(line.data());
        }
    }
    {
        std::vector<char> line(102400);
        for (int32_t rc = GetFirstValue(session.Handle(), GETVALUE_DATA_PERIODIC, GETVALUE_FORMAT_CSV, line.data(),
                                        static_cast<uint32_t>(line.size()));
             rc == RETCODE_OK; rc = GetNextValue(session.Handle(), line.data(), static_cast<uint32_t>(line.size()))) {
            ++periods;
        }
        if (periods != 0) --periods;  // the header
    }
    AtomicFile settings(JoinPath(folder, "settings.json"));
    AtomicFile study(JoinPath(folder, "study.conf"));
    if (!settings.Open() || !settings.Write(SettingsJson(session)) || !study.Open() ||
        !study.Write(StudyFileText(session, read.metric))) {
        return Fail(kExitFiles, "cannot write the settings into " + folder + ": " + std::strerror(errno));
    }
    if (session.Interrupted()) {
        std::fprintf(stderr, "tallyx: stopped: interrupted while writing %s; nothing was left there.\n",
                     folder.c_str());
        return kExitStopped;
    }
    if (!sequential.Commit(error) || !periodic.Commit(error)) return Fail(kExitFiles, error);
    if (!settings.Commit() || !study.Commit()) return Fail(kExitFiles, "cannot write the settings into " + folder);
    guard.remove = false;

    const char* speedUnit = read.metric ? "km/h" : "mph";
    std::printf("Read %s (%s) on %s into %s\n", session.Get(PROPERTY_DEV_SERIALNO).c_str(),
                session.Get(PROPERTY_DEV_UNITTYPE).c_str(), session.Port().Name().c_str(),
                JoinPath(folder, "").c_str());
    std::printf("  Study         %s to %s, %s periods of %s min\n", session.Get(PROPERTY_STUDY_BEGINDATETIME).c_str(),
                session.Get(PROPERTY_STUDY_ENDDATETIME).c_str(), std::to_string(periods).c_str(),
                session.Get(PROPERTY_STUDY_PERIODTIME).c_str());
    std::printf("  Vehicles      %llu\n", static_cast<unsigned long long>(summary.Vehicles()));
    std::printf("  Reverse       %llu (%.1f %%)\n", static_cast<unsigned long long>(summary.Reverse()),
                summary.ReverseShare());
    if (summary.WithSpeed() != 0) {
        std::printf("  Mean speed    %.1f %s\n", summary.MeanSpeed(), speedUnit);
        std::printf("  85th pct.     %u %s\n", static_cast<unsigned>(summary.Percentile85()), speedUnit);
    } else {
        std::printf("  Speeds        none recorded\n");
    }
    std::printf("  Files         sequential%s, periodic%s, settings.json, study.conf\n", extension.c_str(),
                extension.c_str());
    return kExitOk;
}

}  // namespace tallyx::cli

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

#include "cli/archive_access.h"
#include "cli/atomic_file.h"
#include "cli/commands.h"
#include "platform/calendar_time.h"
#include "platform/files.h"
#include "report/study_figures.h"
#include "study/folder_writer.h"
#include "study/record_reader.h"
#include "tallyx_version.h"

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

// One CSV line the library gave, of the kind named, into the study.
bool TakeCsvLine(study::RecordReader& reader, const char* kind, const char* line, bool header, std::string& error) {
    const bool vehicles = std::strcmp(kind, GETVALUE_DATA_SEQUENTIAL) == 0;
    std::string problem;
    const bool ok = header ? (vehicles ? line == study::kVehicleHeader : reader.SetPeriodHeader(line, problem))
                           : (vehicles ? reader.AddVehicleCsv(line, problem) : reader.AddPeriodCsv(line, problem));
    if (!ok)
        error = std::string("the library gave a ") + (vehicles ? "vehicle" : "period") + " line that cannot be read (" +
                (problem.empty() ? "header" : problem) + "): " + line;
    return ok;
}

// The lines of one kind, written into its file as they come from the library.
class RecordFile {
public:
    RecordFile(Session& session, const std::string& path, const char* kind, bool xml, const char* root)
        : session_(session), file_(path), kind_(kind), xml_(xml), root_(root) {}

    // 0, or the library's failure; error set for a file that cannot be written
    // or a line that is not a record. Each CSV line also goes into the study.
    int32_t Write(std::string& error, study::RecordReader* reader) {
        if (!file_.Open()) {
            error = "cannot write " + file_.Path() + ": " + std::strerror(errno);
            return RETCODE_OK;
        }
        std::vector<char> line(102400);
        const uint32_t size = static_cast<uint32_t>(line.size());
        if (xml_) file_.Write("<?xml version=\"1.0\"?>\n<" + std::string(root_) + ">\n");
        int32_t result = GetFirstValue(session_.Handle(), kind_, xml_ ? GETVALUE_FORMAT_XML : GETVALUE_FORMAT_CSV,
                                       line.data(), size);
        bool header = !xml_;
        while (result == RETCODE_OK) {
            if (session_.Interrupted()) return RETCODE_ABORTED;
            if (reader != nullptr && !TakeCsvLine(*reader, kind_, line.data(), header, error)) return RETCODE_OK;
            header = false;
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

// The settings of the read, by the table of setting fields.
void TakeSettings(Session& session, bool metric, study::Study& study) {
    for (const study::SettingField& field : study::SettingFields()) study.SetSetting(field.key, session.Get(field.property));
    study.port = session.Port().Name();
    study.metric = metric;
}

// Walks the library's CSV lines of one kind into the study (for an XML read,
// whose files hold the other form).
int32_t TakeCsvLines(Session& session, const char* kind, study::RecordReader& reader, std::string& error) {
    std::vector<char> line(102400);
    bool header = true;
    int32_t rc = GetFirstValue(session.Handle(), kind, GETVALUE_FORMAT_CSV, line.data(), static_cast<uint32_t>(line.size()));
    for (; rc == RETCODE_OK; rc = GetNextValue(session.Handle(), line.data(), static_cast<uint32_t>(line.size()))) {
        if (!TakeCsvLine(reader, kind, line.data(), header, error)) return RETCODE_OK;
        header = false;
    }
    return rc == RETCODE_NOMOREVALUES ? RETCODE_OK : rc;
}

}  // namespace

int32_t TakeReadStudy(Session& session, bool metric, study::Study& study, std::string& error) {
    const int32_t units = SetProperty(session.Handle(), PROPERTY_STUDY_MEASUREMENTUNITS,
                                      metric ? STUDY_MEASUREMENTUNITS_METRIC : STUDY_MEASUREMENTUNITS_US);
    if (units != RETCODE_OK) return units;
    study = study::Study{};
    TakeSettings(session, metric, study);
    study.form = study::FolderForm::kCsv;
    study::RecordReader reader(study);
    for (const char* kind : {GETVALUE_DATA_SEQUENTIAL, GETVALUE_DATA_PERIODIC}) {
        const int32_t taken = TakeCsvLines(session, kind, reader, error);
        if (!error.empty() || taken != RETCODE_OK) return taken;
    }
    return RETCODE_OK;
}

int ReadIntoFolder(const CommonOptions& options, const ReadOptions& read, study::Study& study, std::string& folder) {
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

    folder = read.out.empty() ? DefaultFolder(session.Get(PROPERTY_DEV_SERIALNO)) : read.out;
    const bool fresh = !PathExists(folder);
    if (!MakeFolders(folder, error)) return Fail(kExitFiles, error);
    // A folder made for this read goes again when the read leaves nothing in it.
    struct FolderGuard {
        const std::string& path;
        bool remove;
        ~FolderGuard() {
            if (remove) RemoveEmptyFolder(path);
        }
    } guard{folder, fresh};
    study = study::Study{};
    TakeSettings(session, read.metric, study);
    const bool xml = read.format == "xml";
    study.form = xml ? study::FolderForm::kXml : study::FolderForm::kCsv;
    const std::string extension = xml ? ".xml" : ".csv";
    RecordFile sequential(session, JoinPath(folder, "sequential" + extension), GETVALUE_DATA_SEQUENTIAL, xml,
                          "SequentialRecords");
    RecordFile periodic(session, JoinPath(folder, "periodic" + extension), GETVALUE_DATA_PERIODIC, xml,
                        "PeriodicRecords");
    study::RecordReader reader(study);
    for (RecordFile* file : {&sequential, &periodic}) {
        const int32_t written = file->Write(error, xml ? nullptr : &reader);
        if (!error.empty()) return Fail(kExitFiles, error);
        if (written != RETCODE_OK) return ReportFailure(session, "Exporting the records", written);
    }
    if (xml) {
        // The study comes from the CSV form of the same records.
        for (const char* kind : {GETVALUE_DATA_SEQUENTIAL, GETVALUE_DATA_PERIODIC}) {
            const int32_t taken = TakeCsvLines(session, kind, reader, error);
            if (!error.empty()) return Fail(kExitOther, error);
            if (taken != RETCODE_OK) return ReportFailure(session, "Exporting the records", taken);
        }
    }
    AtomicFile settings(JoinPath(folder, "settings.json"));
    AtomicFile conf(JoinPath(folder, "study.conf"));
    if (!settings.Open() || !settings.Write(study::SettingsJsonText(study)) || !conf.Open() ||
        !conf.Write(study::StudyConfText(study))) {
        return Fail(kExitFiles, "cannot write the settings into " + folder + ": " + std::strerror(errno));
    }
    if (session.Interrupted()) {
        std::fprintf(stderr, "tallyx: stopped: interrupted while writing %s; nothing was left there.\n",
                     folder.c_str());
        return kExitStopped;
    }
    if (!sequential.Commit(error) || !periodic.Commit(error)) return Fail(kExitFiles, error);
    if (!settings.Commit() || !conf.Commit()) return Fail(kExitFiles, "cannot write the settings into " + folder);
    guard.remove = false;

    const report::SpeedStudy speeds = report::ComputeSpeedFigures(study).studies[report::kBoth];
    uint64_t reverse = 0;
    for (const study::Vehicle& vehicle : study.vehicles) reverse += study.IsReverse(vehicle) ? 1 : 0;
    const uint64_t vehicles = study.vehicles.size();
    std::printf("Read %s (%s) on %s into %s\n", session.Get(PROPERTY_DEV_SERIALNO).c_str(),
                session.Get(PROPERTY_DEV_UNITTYPE).c_str(), session.Port().Name().c_str(),
                JoinPath(folder, "").c_str());
    std::printf("  Study         %s to %s, %s periods of %s min\n", session.Get(PROPERTY_STUDY_BEGINDATETIME).c_str(),
                session.Get(PROPERTY_STUDY_ENDDATETIME).c_str(), std::to_string(study.periods.size()).c_str(),
                session.Get(PROPERTY_STUDY_PERIODTIME).c_str());
    std::printf("  Vehicles      %llu\n", static_cast<unsigned long long>(vehicles));
    std::printf("  Reverse       %llu (%.1f %%)\n", static_cast<unsigned long long>(reverse),
                vehicles == 0 ? 0.0 : 100.0 * static_cast<double>(reverse) / static_cast<double>(vehicles));
    if (speeds.withSpeed != 0) {
        std::printf("  Mean speed    %.1f %s\n", speeds.Mean(), study.SpeedUnit());
        std::printf("  85th pct.     %u %s\n", static_cast<unsigned>(speeds.p85), study.SpeedUnit());
    } else {
        std::printf("  Speeds        none recorded\n");
    }
    std::printf("  Files         sequential%s, periodic%s, settings.json, study.conf\n", extension.c_str(),
                extension.c_str());
    std::fflush(stdout);
    return kExitOk;
}

int RunRead(const CommonOptions& options, const ReadOptions& read) {
    study::Study study;
    std::string folder;
    const int status = ReadIntoFolder(options, read, study, folder);
    return status == kExitOk ? ArchiveRead(read, study, folder) : status;
}

int ArchiveRead(const ReadOptions& read, const study::Study& study, const std::string& folder) {
    if (read.noArchive) return kExitOk;
    int status = kExitOk;
    std::unique_ptr<archive::Archive> store = OpenArchive(read.archive, status);
    if (!store) {
        std::fprintf(stderr, "tallyx: the read is in %s all the same; tallyx archive import %s adds it later.\n",
                     folder.c_str(), folder.c_str());
        return status;
    }
    archive::ReadFacts facts;
    facts.readAt = archive::LocalTimeNow();
    facts.program = std::string("tallyx read ") + TALLYX_VERSION_TEXT;
    status = ArchiveStudy(*store, study, facts, "the read");
    if (status != kExitOk) {
        std::fprintf(stderr, "tallyx: the read is in %s all the same; tallyx archive import %s adds it later.\n",
                     folder.c_str(), folder.c_str());
    }
    return status;
}

}  // namespace tallyx::cli

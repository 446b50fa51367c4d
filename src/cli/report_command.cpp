// tallyx report: the study report of a read folder (or of a counter, read
// first into a folder as tallyx read does): report.json with every figure and
// its unit, and report.html, one self-contained page that shows and prints
// the report with its charts. Both appear together or not at all.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/archive_access.h"
#include "cli/atomic_file.h"
#include "cli/commands.h"
#include "platform/files.h"
#include "report/report_html.h"
#include "report/report_json.h"
#include "report/study_figures.h"
#include "study/folder_loader.h"

namespace tallyx::cli {

int RunReport(const CommonOptions& options, const ReportOptions& report) {
    const bool fromCounter = !options.port.empty() || options.usb != 0;
    const int sources = (fromCounter ? 1 : 0) + (report.folder.empty() ? 0 : 1) + (report.archiveId != 0 ? 1 : 0);
    if (sources != 1) {
        return Fail(kExitUsage, sources > 1 ? "give one of a read folder, --port and --archive-id"
                                            : "a read folder (or --port to read a counter first, or --archive-id) is needed");
    }
    study::Study study;
    std::string folder = report.folder;
    std::string error;
    if (report.archiveId != 0) {
        int status = kExitOk;
        std::unique_ptr<archive::Archive> store = OpenArchive(report.read.archive, status);
        if (!store) return status;
        if (!store->Load(report.archiveId, study, error)) return LookupFailure(error);
        folder = "study-" + std::to_string(report.archiveId);
    } else if (fromCounter) {
        ReadOptions read = report.read;
        if (read.out.empty()) read.out = report.out;
        const int status = ReadIntoFolder(options, read, study, folder);
        if (status != kExitOk) return status;
    } else if (!study::LoadFolder(folder, study, error)) {
        return Fail(kExitUsage, error);
    }

    const report::StudyFigures figures = report::ComputeFigures(study);
    const json::Value document = report::ReportDocument(study, figures);
    const std::string out = report.out.empty() ? folder : report.out;
    if (!MakeFolders(out, error)) return Fail(kExitFiles, error);
    AtomicFile jsonFile(JoinPath(out, "report.json"), true);
    AtomicFile htmlFile(JoinPath(out, "report.html"), true);
    if (!jsonFile.Open() || !jsonFile.Write(report::ReportJsonText(document)) || !htmlFile.Open() ||
        !htmlFile.Write(report::ReportHtml(document))) {
        return Fail(kExitFiles, "cannot write the report into " + out + ": " + std::strerror(errno));
    }
    if (!jsonFile.Commit() || !htmlFile.Commit()) {
        RemoveFile(JoinPath(out, "report.json"));
        return Fail(kExitFiles, "cannot write the report into " + out + ": " + std::strerror(errno));
    }
    std::printf("Report of %llu vehicles: %s and %s\n",
                static_cast<unsigned long long>(study.vehicles.size()), JoinPath(out, "report.html").c_str(),
                JoinPath(out, "report.json").c_str());
    return fromCounter ? ArchiveRead(report.read, study, folder) : kExitOk;
}

}  // namespace tallyx::cli

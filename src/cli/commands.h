#pragma once
// The subcommands of tallyx. Each returns the exit status of the program.
#include <string>
#include <utility>
#include <vector>

#include "cli/return_code_help.h"
#include "cli/session.h"
#include "archive/archive.h"
#include "study/study.h"

namespace tallyx::cli {

struct ReadOptions {
    std::string out;            // output folder; empty: <serial>-<date>-<time> here
    std::string format = "csv"; // csv | xml
    bool metric = false;
    std::string archive;        // --archive FILE
    bool noArchive = false;     // --no-archive
};

struct ArchiveOptions {
    std::string archive;                // --archive FILE
    std::string action;                 // import, list, show, counters, sites, site, export, remove
    std::vector<std::string> folders;   // import
    int64_t id = 0;                     // show, site, export, remove
    archive::ListFilter filter;         // list
    bool json = false;
    std::vector<std::string> sets;      // site: KEY=VALUE
    std::string out;                    // export
    bool yes = false;                   // remove without asking
};

struct ReportOptions {
    std::string folder;  // a read folder; empty with --port: read the counter first
    int64_t archiveId = 0;  // a study of the archive instead
    std::string out;     // where report.json and report.html go; empty: the read's folder
    ReadOptions read;    // with --port: how to read
};

struct ProgramOptions {
    std::string studyFile;
    // Settings given as options, by study-file key ("begin", "speed-bins", ...).
    std::vector<std::pair<std::string, std::string>> settings;
    bool metric = false;
};

int RunPorts(const CommonOptions& options, bool probe);
int RunInfo(const CommonOptions& options, bool json);
int RunRead(const CommonOptions& options, const ReadOptions& read);
// Reads the counter into a folder as tallyx read does, and into the study;
// the exit status (kExitOk after the summary is printed).
int ReadIntoFolder(const CommonOptions& options, const ReadOptions& read, study::Study& study, std::string& folder);
// After a full read of the session: the read's settings and records into the study, in the
// units asked for (as tallyx read keeps them). The library's code; error set, with
// RETCODE_OK, for a line that cannot be read.
int32_t TakeReadStudy(Session& session, bool metric, study::Study& study, std::string& error);
// Archives a read unless --no-archive; the exit status (the folder stays in any case).
int ArchiveRead(const ReadOptions& read, const study::Study& study, const std::string& folder);
int RunReport(const CommonOptions& options, const ReportOptions& report);
int RunArchive(const ArchiveOptions& options);
// A site field of the archive's register as given on the command line or in a
// form, checked and brought into its stored form ("" clears it).
bool NormaliseSiteField(const std::string& key, const std::string& value, std::string& out, std::string& error);
int RunProgram(const CommonOptions& options, const ProgramOptions& program);
int RunDischarge(const CommonOptions& options, bool start);

// Creates a folder and every folder above it that is missing; false with a
// sentence naming the level that could not be made.
bool MakeFolders(const std::string& path, std::string& error);

// Prints "tallyx: error: message" and returns status.
int Fail(int status, const std::string& message);
// Reports a failed library operation and returns its exit status.
int ReportFailure(const Session& session, const char* operation, int32_t code);

// The letter of the counter model a unit type names (a row of kCounterModels): "A", "B"...,
// or "?" when it names none.
const char* ModelOf(const std::string& unitType);

}  // namespace tallyx::cli

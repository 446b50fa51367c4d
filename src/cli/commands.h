#pragma once
// The subcommands of tallyx. Each returns the exit status of the program.
#include <string>
#include <utility>
#include <vector>

#include "cli/return_code_help.h"
#include "cli/session.h"
#include "study/study.h"

namespace tallyx::cli {

struct ReadOptions {
    std::string out;            // output folder; empty: <serial>-<date>-<time> here
    std::string format = "csv"; // csv | xml
    bool metric = false;
};

struct ReportOptions {
    std::string folder;  // a read folder; empty with --port: read the counter first
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
int RunReport(const CommonOptions& options, const ReportOptions& report);
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

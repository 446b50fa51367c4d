#pragma once
// The folders beside the program: log/ for the log files, data/ for the output files.
#include <string>

namespace tallyx {

struct ProgramFolders {
    std::string programFolder;  // with a trailing "/"
    std::string logFolder;      // programFolder + "log/"
    std::string dataFolder;     // programFolder + "data/"

    // Folders under the given program folder ("/" is appended when missing).
    static ProgramFolders Under(std::string programFolder);

    // Folders beside the running executable (/proc/self/exe); when that cannot be
    // read, beside the current working directory.
    static ProgramFolders OfRunningProgram();
};

// The folder part of a file path, with its trailing "/"; "./" when the path has none.
std::string FolderOfPath(const std::string& path);

// Creates the last level of a folder path when it does not exist yet. True when
// the folder exists afterwards.
bool EnsureFolder(const std::string& folder);

}  // namespace tallyx

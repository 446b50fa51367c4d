#include "reader/program_folders.h"

#include "platform/files.h"

namespace tallyx {

ProgramFolders ProgramFolders::Under(std::string programFolder) {
    if (programFolder.empty()) programFolder = std::string(".") + kPathSeparator;
    if (!IsPathSeparator(programFolder.back())) programFolder += kPathSeparator;
    ProgramFolders folders;
    folders.programFolder = programFolder;
    folders.logFolder = programFolder + "log" + kPathSeparator;
    folders.dataFolder = programFolder + "data" + kPathSeparator;
    return folders;
}

ProgramFolders ProgramFolders::OfRunningProgram() {
    const std::string path = RunningProgramPath();
    if (path.empty()) return Under("");
    return Under(FolderOfPath(path));
}

std::string FolderOfPath(const std::string& path) {
    size_t slash = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsPathSeparator(path[i])) slash = i;
    }
    if (slash == std::string::npos) return std::string(".") + kPathSeparator;
    return path.substr(0, slash + 1);
}

bool EnsureFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && IsPathSeparator(path.back())) path.pop_back();
    if (path.empty()) return false;
    switch (QueryFolder(path)) {
    case FolderState::Exists:
        return true;
    case FolderState::Missing:
        return MakeFolder(path);
    default:
        return false;
    }
}

}  // namespace tallyx

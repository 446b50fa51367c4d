#include "reader/program_folders.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace tallyx {

ProgramFolders ProgramFolders::Under(std::string programFolder) {
    if (programFolder.empty()) programFolder = "./";
    if (programFolder.back() != '/') programFolder += '/';
    ProgramFolders folders;
    folders.programFolder = programFolder;
    folders.logFolder = programFolder + "log/";
    folders.dataFolder = programFolder + "data/";
    return folders;
}

ProgramFolders ProgramFolders::OfRunningProgram() {
    std::vector<char> path(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) return Under("./");
        if (static_cast<size_t>(length) < path.size()) {
            return Under(FolderOfPath(std::string(path.data(), static_cast<size_t>(length))));
        }
        path.resize(path.size() * 2);  // the link may have been cut: try again with more room
    }
}

std::string FolderOfPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "./";
    return path.substr(0, slash + 1);
}

bool EnsureFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) return false;
    if (access(path.c_str(), F_OK) == 0) return true;
    if (errno != ENOENT) return false;
    if (mkdir(path.c_str(), 0777) == 0) return true;
    return errno == EEXIST;  // made by someone else meanwhile
}

}  // namespace tallyx

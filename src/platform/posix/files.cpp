#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix/file_lock.h"

namespace tallyx {

const char kPathSeparator = '/';

bool IsPathSeparator(char c) { return c == '/'; }

std::string NativePath(std::string path) { return path; }

FileLockGuard::FileLockGuard(int fd) : fd_(fd) {
    if (fd_ < 0) return;
    int result;
    do {
        result = flock(fd_, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    locked_ = result == 0;
}

FileLockGuard::~FileLockGuard() {
    if (locked_) flock(fd_, LOCK_UN);
}

namespace {

int Descriptor(FileHandle file) { return static_cast<int>(file); }

}  // namespace

FileHandle OpenAppendFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
    return fd >= 0 ? FileHandle{fd} : kNoFile;
}

void CloseFile(FileHandle file) {
    if (file == kNoFile) return;
    fsync(Descriptor(file));
    close(Descriptor(file));
}

bool AppendWhole(FileHandle file, const char* data, std::size_t length) {
    if (file == kNoFile) return false;
    const int fd = Descriptor(file);
    // Without the lock (a file system that offers none) the append still goes out.
    FileLockGuard lock(fd);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t written = ::write(fd, data + done, length - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool AppendWholeToFile(const char* path, const char* data, std::size_t length) {
    const FileHandle file = OpenAppendFile(path);
    if (file == kNoFile) return false;
    const bool whole = AppendWhole(file, data, length);
    close(Descriptor(file));
    return whole;
}

bool AppendWholeTextToFile(const char* path, const char* data, std::size_t length) {
    // Text files end their lines with a line feed alone here.
    return AppendWholeToFile(path, data, length);
}

std::FILE* OpenStdioFile(const std::string& path, const char* mode) {
    // "e": close-on-exec, so programs the caller starts do not inherit the file.
    return std::fopen(path.c_str(), (std::string(mode) + "e").c_str());
}

void MakeStdioBinary(std::FILE*) {}

bool SyncStdioFile(std::FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool ReplaceFileWith(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

FolderState QueryFolder(const std::string& path) {
    if (access(path.c_str(), F_OK) == 0) return FolderState::Exists;
    return errno == ENOENT ? FolderState::Missing : FolderState::Unreachable;
}

bool MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0) return true;
    return errno == EEXIST;  // made before, or by someone else meanwhile
}

bool RemoveEmptyFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

std::string LastFileErrorText() { return std::strerror(errno); }

bool PathExists(const std::string& path) {
    struct stat status {};
    return !path.empty() && stat(path.c_str(), &status) == 0;
}

std::string ResolvedPath(const std::string& path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) != nullptr ? std::string(real) : path;
}

bool SameFileOrDevice(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    if (S_ISCHR(sa.st_mode) && S_ISCHR(sb.st_mode)) return sa.st_rdev == sb.st_rdev;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string RunningProgramPath() {
    std::vector<char> path(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) return {};
        if (static_cast<size_t>(length) < path.size()) return std::string(path.data(), static_cast<size_t>(length));
        path.resize(path.size() * 2);  // the link may have been cut: try again with more room
    }
}

}  // namespace tallyx

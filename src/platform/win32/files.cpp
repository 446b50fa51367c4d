#include "platform/files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>
#include <vector>

namespace tallyx {

const char kPathSeparator = '\\';

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

std::string NativePath(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

namespace {

HANDLE Native(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

bool DeviceName(const std::string& path, std::string* name) {
    if (path.rfind("\\\\.\\", 0) != 0) return false;
    *name = path.substr(4);
    return true;
}

}  // namespace

FileHandle OpenAppendFile(const std::string& path) {
    // Others may read, write and delete the file meanwhile.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kNoFile;
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        // A file made under the name of one deleted a moment ago may inherit that file's
        // creation time; the log's rotation asks when this one was started.
        FILETIME created{};
        FILETIME written{};
        if (GetFileTime(file, &created, nullptr, &written) && CompareFileTime(&created, &written) != 0) {
            SetFileTime(file, &written, nullptr, nullptr);
        }
    }
    return reinterpret_cast<FileHandle>(file);
}

void CloseFile(FileHandle file) {
    if (file == kNoFile) return;
    FlushFileBuffers(Native(file));
    CloseHandle(Native(file));
}

bool AppendWhole(FileHandle file, const char* data, std::size_t length) {
    if (file == kNoFile) return false;
    const HANDLE handle = Native(file);
    // The whole file is locked while the bytes go to its end; without the lock (a file system
    // that offers none) the append still goes out.
    OVERLAPPED range{};
    const bool locked = LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &range) != FALSE;
    bool whole = true;
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(handle, zero, nullptr, FILE_END)) whole = false;
    std::size_t done = 0;
    while (whole && done < length) {
        const DWORD piece = length - done > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length - done);
        DWORD written = 0;
        if (!WriteFile(handle, data + done, piece, &written, nullptr) || written == 0) whole = false;
        done += written;
    }
    if (locked) {
        OVERLAPPED unlockRange{};
        UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &unlockRange);
    }
    return whole;
}

bool AppendWholeToFile(const char* path, const char* data, std::size_t length) {
    const FileHandle file = OpenAppendFile(path);
    if (file == kNoFile) return false;
    const bool whole = AppendWhole(file, data, length);
    CloseHandle(Native(file));
    return whole;
}

bool AppendWholeTextToFile(const char* path, const char* data, std::size_t length) {
    // Text mode: every line feed is stored as a carriage return and a line feed.
    std::string text;
    text.reserve(length + length / 16);
    for (std::size_t i = 0; i < length; ++i) {
        if (data[i] == '\n') text += '\r';
        text += data[i];
    }
    return AppendWholeToFile(path, text.data(), text.size());
}

std::FILE* OpenStdioFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

void MakeStdioBinary(std::FILE* file) {
    std::fflush(file);
    _setmode(_fileno(file), _O_BINARY);
}

bool SyncStdioFile(std::FILE* file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

bool ReplaceFileWith(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

FolderState QueryFolder(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return FolderState::Exists;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FolderState::Missing
                                                                          : FolderState::Unreachable;
}

bool MakeFolder(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RemoveEmptyFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != FALSE; }

std::string LastFileErrorText() {
    const DWORD error = GetLastError();
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, sizeof text, nullptr);
    std::string result(text, length);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.')) {
        result.pop_back();
    }
    return result.empty() ? "error " + std::to_string(error) : result;
}

bool PathExists(const std::string& path) {
    std::string device;
    if (DeviceName(path, &device)) {
        // A device such as \\.\COM3 has no attributes; the system knows its name.
        char target[1024];
        return QueryDosDeviceA(device.c_str(), target, sizeof target) != 0;
    }
    return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ResolvedPath(const std::string& path) {
    std::string device;
    if (DeviceName(path, &device)) return path;
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length > 0 && length < sizeof full ? std::string(full, length) : path;
}

bool SameFileOrDevice(const std::string& a, const std::string& b) {
    if (!PathExists(a) || !PathExists(b)) return false;
    return lstrcmpiA(ResolvedPath(a).c_str(), ResolvedPath(b).c_str()) == 0;
}

std::string RunningProgramPath() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return std::string(path.data(), length);
        path.resize(path.size() * 2);  // the name was cut: try again with more room
    }
}

}  // namespace tallyx

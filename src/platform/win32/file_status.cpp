#include "platform/file_status.h"

#include <windows.h>

namespace tallyx {

namespace {

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochTicks = 116444736000000000LL;

FileStatus StatusOf(HANDLE file) {
    FileStatus status;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return status;
    status.exists = true;
    status.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    status.device = info.dwVolumeSerialNumber;
    status.inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    // The file system records when each file was created.
    const int64_t ticks =
        static_cast<int64_t>((uint64_t{info.ftCreationTime.dwHighDateTime} << 32) | info.ftCreationTime.dwLowDateTime) -
        kEpochTicks;
    int64_t seconds = ticks / 10000000;
    int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    status.createdSeconds = seconds;
    status.createdNanoseconds = rest * 100;
    status.creationTimeIsBirth = true;
    return status;
}

}  // namespace

FileStatus QueryFileStatus(const std::string& path) {
    if (path.empty()) return FileStatus{};
    const HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FileStatus{};
    const FileStatus status = StatusOf(file);
    CloseHandle(file);
    return status;
}

FileStatus QueryOpenFileStatus(FileHandle file) {
    if (file == kNoFile) return FileStatus{};
    return StatusOf(reinterpret_cast<HANDLE>(file));
}

}  // namespace tallyx

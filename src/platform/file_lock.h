#pragma once
// Holds an exclusive advisory lock (flock) on an open file for the lifetime of the guard, so
// that processes appending to the same file do not interleave their writes.
#include <cstddef>

namespace tallyx {

class FileLockGuard {
public:
    explicit FileLockGuard(int fd);
    ~FileLockGuard();

    FileLockGuard(const FileLockGuard&) = delete;
    FileLockGuard& operator=(const FileLockGuard&) = delete;

    // False when the lock could not be taken (the caller may still go on unguarded).
    bool Locked() const { return locked_; }

private:
    int fd_;
    bool locked_ = false;
};

// Appends all length bytes to a file opened for appending, under the lock, so that what other
// processes append lands before or after them, never among them. False when not all of it was
// written (a full disk, the file's size limit, an error).
bool AppendWhole(int fd, const char* data, std::size_t length);
// The same for the file at path, created when missing and closed again afterwards.
bool AppendWholeToFile(const char* path, const char* data, std::size_t length);

}  // namespace tallyx

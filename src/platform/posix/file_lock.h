#pragma once
// Holds an exclusive advisory lock (flock) on an open file for the lifetime of the guard, so
// that processes appending to the same file do not interleave their writes.

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

}  // namespace tallyx

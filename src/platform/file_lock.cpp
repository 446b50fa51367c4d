#include "platform/file_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tallyx {

FileLockGuard::FileLockGuard(int fd) : fd_(fd) {
    if (fd_ < 0) {
        return;
    }
    int result;
    do {
        result = flock(fd_, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    locked_ = result == 0;
}

FileLockGuard::~FileLockGuard() {
    if (locked_) {
        flock(fd_, LOCK_UN);
    }
}

bool AppendWhole(int fd, const char* data, std::size_t length) {
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
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return false;
    const bool whole = AppendWhole(fd, data, length);
    close(fd);
    return whole;
}

}  // namespace tallyx

#include "platform/file_lock.h"

#include <cerrno>
#include <sys/file.h>

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

}  // namespace tallyx

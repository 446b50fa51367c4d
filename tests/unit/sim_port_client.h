// The program side of a simulated counter's line for the simulator's tests: opens the published
// COM path with plain POSIX calls, as a serial port user would, and reads with time-outs.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

namespace simtest {

class PortClient {
public:
    PortClient() = default;
    ~PortClient() { Close(); }
    PortClient(const PortClient&) = delete;
    PortClient& operator=(const PortClient&) = delete;

    bool Open(const std::string& path) {
        Close();
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return false;
        termios t{};
        if (tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            t.c_cflag |= CLOCAL | CREAD;
            tcsetattr(fd_, TCSANOW, &t);
        }
        return true;
    }

    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    bool Write(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                if (errno == EAGAIN) {
                    pollfd p{fd_, POLLOUT, 0};
                    poll(&p, 1, 100);
                    continue;
                }
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }

    // Reads until `count` bytes arrived or the time is up; `hungUp` tells whether the line died.
    std::string Read(size_t count, int timeoutMs, bool* hungUp = nullptr) {
        std::string got;
        if (hungUp) *hungUp = false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char buffer[4096];
        while (got.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) {
                got.append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno == EIO) {
                if (hungUp) *hungUp = true;
                break;
            } else if (p.revents & (POLLHUP | POLLERR)) {
                if (hungUp) *hungUp = true;
                break;
            }
        }
        return got;
    }

    // Reads up to and including `terminator`.
    std::string ReadUntil(char terminator, int timeoutMs) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.empty() || got.back() != terminator) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0) break;
            const std::string one = Read(1, static_cast<int>(left));
            if (one.empty()) break;
            got += one;
        }
        return got;
    }

private:
    int fd_ = -1;
};

// A temporary folder that is removed with everything in it.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/tallysim-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace simtest

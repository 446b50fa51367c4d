#include "support/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace tallyx::test {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
    struct termios raw {};
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    char name[256] = {};
    int m = -1;
    int s = -1;
    if (openpty(&m, &s, name, &raw, nullptr) != 0) return;
    struct termios masterRaw {};
    if (tcgetattr(m, &masterRaw) == 0) {
        cfmakeraw(&masterRaw);
        tcsetattr(m, TCSANOW, &masterRaw);
    }
    int packetMode = 1;
    ioctl(m, TIOCPKT, &packetMode);
    fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK);
    fcntl(m, F_SETFD, FD_CLOEXEC);
    fcntl(s, F_SETFD, FD_CLOEXEC);
    master = m;
    slave = s;
    slavePath = name;
}

PseudoTerminal::~PseudoTerminal() {
    CloseMaster();
    CloseSlave();
}

std::string PseudoTerminal::Publish(const std::string& dir, uint32_t number) {
    if (slavePath.empty()) return {};
    std::string link = dir;
    if (link.empty() || link.back() != '/') link += '/';
    link += "COM" + std::to_string(number);
    unlink(link.c_str());
    if (symlink(slavePath.c_str(), link.c_str()) != 0) return {};
    return link;
}

void PseudoTerminal::CloseMaster() {
    if (master >= 0) close(master);
    master = -1;
}

void PseudoTerminal::CloseSlave() {
    if (slave >= 0) close(slave);
    slave = -1;
}

bool PseudoTerminal::Write(std::string_view bytes, int timeoutMs) {
    if (master < 0) return false;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        struct pollfd pfd {master, POLLOUT, 0};
        const int left = MillisecondsLeft(end);
        if (left == 0 || poll(&pfd, 1, left) <= 0) return false;
    }
    return true;
}

ssize_t PseudoTerminal::ReadMaster(char* buffer, size_t size) {
    for (;;) {
        // In packet mode every read starts with a status byte: 0 before data,
        // otherwise a notice on its own.
        char packet[4097];
        const ssize_t n = read(master, packet, std::min(size, sizeof packet - 1) + 1);
        if (n <= 0) return n;
        if (packet[0] == TIOCPKT_DATA) {
            std::copy(packet + 1, packet + n, buffer);
            if (n > 1) return n - 1;
            continue;
        }
        if ((packet[0] & TIOCPKT_FLUSHREAD) != 0) ++flushes;
    }
}

std::string PseudoTerminal::Read(size_t wanted, int timeoutMs) {
    std::string result;
    if (master < 0) return result;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const size_t fromKept = std::min(wanted, kept.size());
    result = kept.substr(0, fromKept);
    kept.erase(0, fromKept);
    while (result.size() < wanted) {
        char buffer[4096];
        const size_t ask = std::min(sizeof buffer, wanted - result.size());
        const ssize_t n = ReadMaster(buffer, ask);
        if (n > 0) {
            result.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno != EAGAIN) break;  // the slave side is gone
        struct pollfd pfd {master, POLLIN, 0};
        const int left = MillisecondsLeft(end);
        if (left == 0 || poll(&pfd, 1, left) <= 0) break;
    }
    return result;
}

std::string PseudoTerminal::ReadAvailable(int timeoutMs) {
    std::string result;
    if (master < 0) return result;
    if (!kept.empty()) result.swap(kept);
    struct pollfd pfd {master, POLLIN, 0};
    if (result.empty() && (poll(&pfd, 1, timeoutMs) <= 0 || (pfd.revents & POLLIN) == 0)) return result;
    for (;;) {
        char buffer[4096];
        const ssize_t n = ReadMaster(buffer, sizeof buffer);
        if (n <= 0) break;
        result.append(buffer, static_cast<size_t>(n));
    }
    return result;
}

bool PseudoTerminal::WaitUntilSlaveHolds(size_t bytes, int timeoutMs) {
    if (slave < 0) return false;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int waiting = 0;
        if (ioctl(slave, FIONREAD, &waiting) != 0) return false;
        if (static_cast<size_t>(waiting) >= bytes) return true;
        if (MillisecondsLeft(end) == 0) return false;
        // The kernel moves written bytes across the pair on its own time.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool PseudoTerminal::WaitForFlushAfter(unsigned seen, int timeoutMs) {
    if (master < 0) return false;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (flushes.load() <= seen) {
        char buffer[4096];
        const ssize_t n = ReadMaster(buffer, sizeof buffer);
        if (n > 0) {
            kept.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno != EAGAIN) return false;
        if (flushes.load() > seen) break;
        struct pollfd pfd {master, POLLIN, 0};
        const int left = MillisecondsLeft(end);
        if (left == 0 || poll(&pfd, 1, left) <= 0) return flushes.load() > seen;
    }
    return true;
}

}  // namespace tallyx::test

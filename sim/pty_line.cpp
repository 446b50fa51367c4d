#include "pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tallysim {

namespace {

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

PtyLine::~PtyLine() { Unpublish(); }

bool PtyLine::CreatePair(int& master, int& holder, std::string& slavePath, std::string* error) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        if (error) *error = ErrnoText("cannot create a pseudo-terminal");
        return false;
    }
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        if (error) *error = ErrnoText("cannot prepare the pseudo-terminal");
        close(master);
        master = -1;
        return false;
    }
    // Raw from the start: the terminal driver must neither echo what the counter sends back to
    // it nor translate carriage returns before the program on the port has set the line up.
    // On Linux the master's settings are those of the slave.
    termios settings{};
    if (tcgetattr(master, &settings) == 0) {
        cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        tcsetattr(master, TCSANOW, &settings);
    }
    // Opened before the slave is watched, so that this opening is no session.
    holder = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (holder < 0) {
        if (error) *error = ErrnoText("cannot open the pseudo-terminal's slave");
        close(master);
        master = -1;
        return false;
    }
    slavePath = name;
    return true;
}

bool PtyLine::Watch(const std::string& slavePath, std::string* error) {
    if (notify_ < 0) {
        notify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (notify_ < 0) {
            if (error) *error = ErrnoText("cannot watch the pseudo-terminal");
            return false;
        }
    }
    if (watch_ >= 0) inotify_rm_watch(notify_, watch_);
    watch_ = inotify_add_watch(notify_, slavePath.c_str(), IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
    if (watch_ < 0) {
        if (error) *error = ErrnoText("cannot watch " + slavePath);
        return false;
    }
    return true;
}

bool PtyLine::PointLinkAt(const std::string& target, std::string* error) {
    const std::string temporary = linkPath_ + ".tmp" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        if (error) *error = ErrnoText("cannot create " + temporary);
        return false;
    }
    if (rename(temporary.c_str(), linkPath_.c_str()) != 0) {
        if (error) *error = ErrnoText("cannot publish " + linkPath_);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool PtyLine::Publish(const std::string& dir, unsigned comNumber, std::string* error) {
    Unpublish();
    if (dir.empty()) {
        if (error) *error = "no port folder given";
        return false;
    }
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        if (error) *error = ErrnoText("cannot create the port folder " + dir);
        return false;
    }
    dir_ = dir;
    linkPath_ = dir + (dir.back() == '/' ? "" : "/") + "COM" + std::to_string(comNumber);
    struct stat existing{};
    if (lstat(linkPath_.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        if (error) *error = linkPath_ + " exists and is not a symbolic link";
        linkPath_.clear();
        return false;
    }
    if (!CreatePair(master_, holder_, slavePath_, error) || !Watch(slavePath_, error) ||
        !PointLinkAt(slavePath_, error)) {
        Unpublish();  // removes the link only if it already points at our slave
        return false;
    }
    return true;
}

bool PtyLine::Replace(std::string* error, const std::function<void()>& beforeOldCloses) {
    int newMaster = -1;
    int newHolder = -1;
    std::string newSlave;
    if (!CreatePair(newMaster, newHolder, newSlave, error)) return false;
    if (!Watch(newSlave, error) || !PointLinkAt(newSlave, error)) {
        close(newMaster);
        close(newHolder);
        Watch(slavePath_, nullptr);
        return false;
    }
    const int oldMaster = master_;
    const int oldHolder = holder_;
    master_ = newMaster;
    holder_ = newHolder;
    slavePath_ = newSlave;
    if (beforeOldCloses) beforeOldCloses();
    if (oldMaster >= 0) close(oldMaster);
    if (oldHolder >= 0) close(oldHolder);
    return true;
}

void PtyLine::Unpublish() {
    if (!linkPath_.empty()) {
        char target[256];
        const ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (n >= 0) {
            target[n] = '\0';
            if (slavePath_ == target) unlink(linkPath_.c_str());
        }
        linkPath_.clear();
    }
    if (notify_ >= 0) close(notify_);
    if (master_ >= 0) close(master_);
    if (holder_ >= 0) close(holder_);
    notify_ = master_ = holder_ = watch_ = -1;
    slavePath_.clear();
}

void PtyLine::TakeNotices(std::vector<Notice>& notices) {
    if (notify_ < 0) return;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = read(notify_, buffer, sizeof buffer);
        if (n <= 0) return;
        for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            if (event->mask & IN_Q_OVERFLOW) {
                notices.push_back(Notice::Resync);
            } else if (event->wd == watch_) {
                if (event->mask & IN_OPEN) notices.push_back(Notice::Opened);
                if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) notices.push_back(Notice::Closed);
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

bool PtyLine::SlaveHungUp() const {
    if (master_ < 0) return true;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 0) < 0) return false;
    return (p.revents & POLLHUP) != 0;
}

void PtyLine::DiscardPending() {
    if (master_ >= 0) tcflush(master_, TCIOFLUSH);
}

void PtyLine::DiscardUnreadAtSlave() {
    if (holder_ >= 0) tcflush(holder_, TCIFLUSH);
}

void PtyLine::DiscardToSlave() {
    if (master_ >= 0) tcflush(master_, TCOFLUSH);
}

ssize_t PtyLine::Read(char* buffer, size_t size) {
    if (master_ < 0) return -1;
    return read(master_, buffer, size);
}

ssize_t PtyLine::Write(const char* buffer, size_t size) {
    if (master_ < 0) return -1;
    return write(master_, buffer, size);
}

}  // namespace tallysim

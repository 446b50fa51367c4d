// The simulated serial line: a pseudo-terminal pair whose slave side is published as
// <dir>/COM<n> (a symbolic link), so that a program finds the counter there. The line notices
// every opening and closing of the slave through inotify, which also catches a close that is
// followed at once by a reopen.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace tallysim {

class PtyLine {
public:
    // Notifications about the slave side.
    enum class Notice { Opened, Closed, Resync };

    PtyLine() = default;
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Creates the pair in raw mode and publishes the link. The folder is created when missing;
    // a stale link of the same name is replaced, any other file of that name is an error.
    bool Publish(const std::string& dir, unsigned comNumber, std::string* error);
    // Removes the link (if it still points at this line's slave) and closes everything.
    void Unpublish();
    // Hangs the line up as an unplugged adapter would: a new pair replaces the old one under the
    // same link, then the old master is closed, so the program holding the old slave sees the
    // device vanish and a reopen of the link reaches the new one. `beforeOldCloses` runs once
    // the new pair is in place, just before the old one goes.
    bool Replace(std::string* error, const std::function<void()>& beforeOldCloses = {});

    int MasterFd() const { return master_; }
    int NotifyFd() const { return notify_; }
    const std::string& LinkPath() const { return linkPath_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Appends the notifications that are waiting, in order. Never blocks.
    void TakeNotices(std::vector<Notice>& notices);
    // True when the master reports that no one holds the slave open (after it was opened once).
    bool SlaveHungUp() const;
    // Drops whatever waits in either direction (stale bytes of an earlier opening).
    void DiscardPending();
    // Drops what reached the slave side and was not read there: a serial port forgets its
    // unread input when it is closed, so the next opening does not find the last one's answers.
    void DiscardUnreadAtSlave();
    // Drops what was sent towards the slave and not yet read there.
    void DiscardToSlave();

    ssize_t Read(char* buffer, size_t size);
    ssize_t Write(const char* buffer, size_t size);

private:
    // The pair, and a descriptor of the slave that the line keeps open for as long as the pair
    // lives: through it the line can drop what the last opening left unread.
    bool CreatePair(int& master, int& holder, std::string& slavePath, std::string* error);
    bool Watch(const std::string& slavePath, std::string* error);
    bool PointLinkAt(const std::string& target, std::string* error);

    int master_ = -1;
    int holder_ = -1;
    int notify_ = -1;
    int watch_ = -1;
    std::string dir_;
    std::string linkPath_;
    std::string slavePath_;
};

}  // namespace tallysim

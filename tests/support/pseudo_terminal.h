#pragma once
// A pseudo-terminal pair for tests: the slave side plays the serial device a
// port opens, the master side plays the counter at the far end of the line.
// Both sides are raw (8 bits clean, no echo, no translation). The master runs
// in packet mode, so the far end learns when the port discards its input (as
// every opening of a port does) and can answer only after that.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tallyx::test {

class PseudoTerminal {
public:
    // Opens the pair. The helper keeps a descriptor of the slave open until
    // CloseSlave(), so that the master does not see a hang-up while no port
    // has the slave open. Check IsOpen() before use.
    PseudoTerminal();
    ~PseudoTerminal();

    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool IsOpen() const { return master >= 0; }
    // The non-blocking master descriptor; -1 after CloseMaster().
    int MasterFd() const { return master; }
    // The slave device, such as /dev/pts/3.
    const std::string& SlavePath() const { return slavePath; }

    // Makes the slave reachable as <dir>/COM<number> (a symlink). Returns the
    // link's path, or an empty string when it could not be created.
    std::string Publish(const std::string& dir, uint32_t number);

    // Hangs up the far end: a port on the slave then sees the line go away.
    void CloseMaster();
    // Drops the helper's own slave descriptor.
    void CloseSlave();

    // Writes all bytes from the master side; false on failure or when they are
    // not taken within timeoutMs.
    bool Write(std::string_view bytes, int timeoutMs = 1000);
    // Reads from the master side until wanted bytes have arrived or timeoutMs
    // has passed; returns what arrived.
    std::string Read(size_t wanted, int timeoutMs = 1000);
    // Waits up to timeoutMs for anything, then returns all that is there.
    std::string ReadAvailable(int timeoutMs = 1000);

    // How often the port on the slave side has discarded its input, as far as
    // the reads above have seen.
    unsigned Flushes() const { return flushes.load(); }
    // Reads until more than `seen` discards have been seen or timeoutMs has
    // passed; bytes that arrive meanwhile are kept for the next read.
    bool WaitForFlushAfter(unsigned seen, int timeoutMs = 5000);
    // Waits until at least `bytes` written from the master side wait unread
    // at the slave side (needs the helper's slave descriptor).
    bool WaitUntilSlaveHolds(size_t bytes, int timeoutMs = 5000);

private:
    // One read of the master past what is kept: data bytes (> 0), 0 when the
    // slave is gone, -1 when nothing is there (errno set). Discard notices are
    // counted.
    ssize_t ReadMaster(char* buffer, size_t size);

    std::atomic<unsigned> flushes{0};
    std::string kept;
    int master = -1;
    int slave = -1;
    std::string slavePath;
};

}  // namespace tallyx::test

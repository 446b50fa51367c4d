// A record of every byte that crossed the simulated line, each way, with the moments the port
// was opened and closed. Kept in memory for tests and optionally written to a file as a hex dump.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tallysim {

enum class Direction {
    ToCounter,    // bytes the program on the port sent to the counter
    FromCounter,  // bytes the counter sent
    Event,        // a line event (port opened, closed, hang-up); the text says which
};

struct TranscriptEntry {
    double seconds = 0;    // since the transcript was created
    unsigned session = 0;  // 1 for the first opening of the port, 2 for the next, ...
    Direction direction = Direction::Event;
    std::string bytes;     // the bytes, or the event text
};

class Transcript {
public:
    Transcript();
    ~Transcript();
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

    // Also writes every entry to this file (created or truncated). Returns false with a reason.
    bool OpenFile(const std::string& path, std::string* error);
    void SetKeepInMemory(bool keep);

    void Record(Direction direction, unsigned session, std::string_view bytes);
    void Event(unsigned session, std::string_view text);

    // Entries in order; consecutive chunks of one direction within one session are merged.
    std::vector<TranscriptEntry> Entries() const;
    // Everything one side sent, concatenated over all sessions (or one session when not 0).
    std::string BytesToCounter(unsigned session = 0) const;
    std::string BytesFromCounter(unsigned session = 0) const;
    void Clear();

private:
    std::string Collect(Direction direction, unsigned session) const;
    void WriteFileEntry(double seconds, unsigned session, Direction direction, std::string_view bytes);

    mutable std::mutex mutex_;
    std::chrono::steady_clock::time_point start_;
    std::vector<TranscriptEntry> entries_;
    bool keep_ = true;
    std::FILE* file_ = nullptr;
};

}  // namespace tallysim

#include "transcript.h"

#include <cerrno>
#include <cstring>

namespace tallysim {

Transcript::Transcript() : start_(std::chrono::steady_clock::now()) {}

Transcript::~Transcript() {
    if (file_) std::fclose(file_);
}

bool Transcript::OpenFile(const std::string& path, std::string* error) {
    std::lock_guard lock(mutex_);
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        if (error) *error = "cannot create transcript file " + path + ": " + std::strerror(errno);
        return false;
    }
    if (file_) std::fclose(file_);
    file_ = file;
    return true;
}

void Transcript::SetKeepInMemory(bool keep) {
    std::lock_guard lock(mutex_);
    keep_ = keep;
}

void Transcript::Record(Direction direction, unsigned session, std::string_view bytes) {
    if (bytes.empty()) return;
    std::lock_guard lock(mutex_);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (keep_) {
        if (!entries_.empty() && entries_.back().direction == direction && entries_.back().session == session &&
            direction != Direction::Event) {
            entries_.back().bytes.append(bytes);
        } else {
            entries_.push_back({seconds, session, direction, std::string(bytes)});
        }
    }
    if (file_) WriteFileEntry(seconds, session, direction, bytes);
}

void Transcript::Event(unsigned session, std::string_view text) { Record(Direction::Event, session, text); }

void Transcript::WriteFileEntry(double seconds, unsigned session, Direction direction, std::string_view bytes) {
    if (direction == Direction::Event) {
        std::fprintf(file_, "[%12.6f] #%u -- %.*s\n", seconds, session, static_cast<int>(bytes.size()), bytes.data());
        std::fflush(file_);
        return;
    }
    const char* label = direction == Direction::ToCounter ? "in " : "out";
    std::fprintf(file_, "[%12.6f] #%u %s %zu bytes\n", seconds, session, label, bytes.size());
    for (size_t row = 0; row < bytes.size(); row += 16) {
        char hex[16 * 3 + 1] = {};
        char text[17] = {};
        size_t n = 0;
        for (; n < 16 && row + n < bytes.size(); ++n) {
            const unsigned char c = static_cast<unsigned char>(bytes[row + n]);
            std::snprintf(hex + n * 3, 4, "%02X ", c);
            text[n] = (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
        }
        std::fprintf(file_, "    %-48s |%s|\n", hex, text);
    }
    std::fflush(file_);
}

std::vector<TranscriptEntry> Transcript::Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::string Transcript::Collect(Direction direction, unsigned session) const {
    std::lock_guard lock(mutex_);
    std::string all;
    for (const auto& entry : entries_)
        if (entry.direction == direction && (session == 0 || entry.session == session)) all += entry.bytes;
    return all;
}

std::string Transcript::BytesToCounter(unsigned session) const { return Collect(Direction::ToCounter, session); }

std::string Transcript::BytesFromCounter(unsigned session) const { return Collect(Direction::FromCounter, session); }

void Transcript::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

}  // namespace tallysim

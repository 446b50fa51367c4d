#include "cli/atomic_file.h"

#include <unistd.h>

#include <cstdio>

namespace tallyx::cli {

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
    const size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    temporary_ = folder + "." + name + ".part-" + std::to_string(getpid());
}

AtomicFile::~AtomicFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!temporary_.empty()) std::remove(temporary_.c_str());
}

bool AtomicFile::Open() {
    file_ = std::fopen(temporary_.c_str(), "w");
    return file_ != nullptr;
}

bool AtomicFile::Write(const std::string& text) {
    if (file_ == nullptr || failed_) return false;
    failed_ = std::fwrite(text.data(), 1, text.size(), file_) != text.size();
    return !failed_;
}

bool AtomicFile::Commit() {
    if (file_ == nullptr) return false;
    const bool flushed = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (failed_ || !flushed || !closed || std::rename(temporary_.c_str(), path_.c_str()) != 0) return false;
    temporary_.clear();
    return true;
}

}  // namespace tallyx::cli

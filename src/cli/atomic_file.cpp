#include "cli/atomic_file.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/process_ids.h"

namespace tallyx::cli {

AtomicFile::AtomicFile(std::string path, bool binary) : path_(std::move(path)), binary_(binary) {
    size_t slash = std::string::npos;
    for (size_t i = 0; i < path_.size(); ++i) {
        if (IsPathSeparator(path_[i])) slash = i;
    }
    const std::string folder = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    temporary_ = folder + "." + name + ".part-" + std::to_string(CurrentProcessId());
}

AtomicFile::~AtomicFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!temporary_.empty()) std::remove(temporary_.c_str());
}

bool AtomicFile::Open() {
    file_ = OpenStdioFile(temporary_, binary_ ? "wb" : "w");
    return file_ != nullptr;
}

bool AtomicFile::Write(const std::string& text) {
    if (file_ == nullptr || failed_) return false;
    failed_ = std::fwrite(text.data(), 1, text.size(), file_) != text.size();
    return !failed_;
}

bool AtomicFile::Commit() {
    if (file_ == nullptr) return false;
    const bool flushed = SyncStdioFile(file_);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (failed_ || !flushed || !closed || !ReplaceFileWith(temporary_, path_)) return false;
    temporary_.clear();
    return true;
}

}  // namespace tallyx::cli

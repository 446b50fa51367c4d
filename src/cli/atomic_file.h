#pragma once
// An output file written under a temporary name beside its final one and
// renamed into place only when complete, so that an interrupted or failed
// write never leaves a half file behind.
#include <cstdio>
#include <string>

namespace tallyx::cli {

class AtomicFile {
public:
    // A binary file is written byte for byte; a text file ends its lines as
    // the system's text files do.
    explicit AtomicFile(std::string path, bool binary = false);
    ~AtomicFile();  // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool Open();
    bool Write(const std::string& text);
    // Flushes, closes and renames into place.
    bool Commit();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    bool binary_ = false;
    bool failed_ = false;
};

}  // namespace tallyx::cli

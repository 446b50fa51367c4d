#pragma once
// What the log's file handling needs to know about a file: existence, size, identity and
// the time it was created.
#include <cstdint>
#include <string>

#include "platform/files.h"

namespace tallyx {

struct FileStatus {
    bool exists = false;
    uint64_t size = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    // Creation time, seconds and nanoseconds since 1970-01-01 UTC. Where the file system does
    // not record a birth time this is the last modification time instead (see
    // creationTimeIsBirth).
    int64_t createdSeconds = 0;
    int64_t createdNanoseconds = 0;
    bool creationTimeIsBirth = false;

    // True when both describe the same file (same device and file number).
    bool SameFileAs(const FileStatus& other) const {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
};

// Status of the file a path names; exists is false when it names nothing that can be queried.
FileStatus QueryFileStatus(const std::string& path);

// Status of an open file.
FileStatus QueryOpenFileStatus(FileHandle file);

}  // namespace tallyx

#pragma once
// What the output writers share: the library functions, the context handle and the log.
#include <optional>
#include <string>

#include <tallyx/tallyx.h>

#include "reader/library_api.h"
#include "reader/reader_log.h"

namespace tallyx {

struct ReaderSession {
    const LibraryApi& api;
    TallyxHandle handle;
    ReaderLog& log;

    // A property's value read into a 1024-byte buffer; on failure the error is
    // logged and nothing is returned.
    std::optional<std::string> ReadProperty(const char* name) const;
};

}  // namespace tallyx

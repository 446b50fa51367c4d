#pragma once
// The nine library functions the reader uses, reached through a table so that
// tests can put synthetic property values and data lines in place of a counter.
#include <cstdint>

#include <tallyx/tallyx.h>

namespace tallyx {

struct LibraryApi {
    TallyxHandle (*Init)();
    int32_t (*Term)(TallyxHandle handle);
    int32_t (*ReadDevice)(TallyxHandle handle);
    int32_t (*SetProgressCallback)(TallyxHandle handle, ProgressCallback callback);
    int32_t (*SetPromptCallback)(TallyxHandle handle, PromptCallback callback);
    int32_t (*GetProperty)(TallyxHandle handle, const char* name, char* buffer, uint32_t bufferSize);
    int32_t (*SetProperty)(TallyxHandle handle, const char* name, const char* value);
    int32_t (*GetFirstValue)(TallyxHandle handle, const char* dataType, const char* format, char* buffer,
                             uint32_t bufferSize);
    int32_t (*GetNextValue)(TallyxHandle handle, char* buffer, uint32_t bufferSize);
};

// The table of the library's own exports.
const LibraryApi& RealLibraryApi();

}  // namespace tallyx

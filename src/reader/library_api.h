#pragma once
// The nine library functions the reader uses, reached through a table so that
// tests can put synthetic property values and data lines in place of a counter.
#include <cstdint>

#include <tallyx/tallyx.h>

namespace tallyx {

struct LibraryApi {
    TallyxHandle(TALLYX_CALL* Init)();
    int32_t(TALLYX_CALL* Term)(TallyxHandle handle);
    int32_t(TALLYX_CALL* ReadDevice)(TallyxHandle handle);
    int32_t(TALLYX_CALL* SetProgressCallback)(TallyxHandle handle, ProgressCallback callback);
    int32_t(TALLYX_CALL* SetPromptCallback)(TallyxHandle handle, PromptCallback callback);
    int32_t(TALLYX_CALL* GetProperty)(TallyxHandle handle, const char* name, char* buffer, uint32_t bufferSize);
    int32_t(TALLYX_CALL* SetProperty)(TallyxHandle handle, const char* name, const char* value);
    int32_t(TALLYX_CALL* GetFirstValue)(TallyxHandle handle, const char* dataType, const char* format, char* buffer,
                                        uint32_t bufferSize);
    int32_t(TALLYX_CALL* GetNextValue)(TallyxHandle handle, char* buffer, uint32_t bufferSize);
};

// The table of the library's own exports.
const LibraryApi& RealLibraryApi();

}  // namespace tallyx

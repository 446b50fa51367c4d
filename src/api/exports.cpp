// The ten exported functions. Each checks its handle against the registry of
// live contexts before touching anything behind it, and no exception ever
// leaves through this boundary.
#include <new>

#include <tallyx/tallyx.h>

#include "api/context_registry.h"
#include "device/device_values.h"
#include "api/library_context.h"

using tallyx::LibraryContext;

// What crosses the boundary has the same size for every caller of a build: on 32-bit x86 the
// handle and the callback addresses are 4 bytes, codes, steps, reasons and buffer sizes 4 bytes.
static_assert(sizeof(int32_t) == 4 && sizeof(uint32_t) == 4, "codes and sizes are 32-bit");
static_assert(sizeof(TallyxHandle) == sizeof(void*), "the handle is a pointer");
static_assert(sizeof(ProgressCallback) == sizeof(void*) && sizeof(PromptCallback) == sizeof(void*),
              "callbacks are plain function addresses");
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(TallyxHandle) == 4 && sizeof(ProgressCallback) == 4 && sizeof(PromptCallback) == 4,
              "32-bit x86: handle and callbacks are 4 bytes");
#endif

namespace {

// The library throws nothing of its own; what can escape is an allocation
// failure, reported as a resource shortage.

template <typename Body>
int32_t Guarded(TallyxHandle handle, Body body) noexcept {
    LibraryContext* context = tallyx::context_registry::Find(handle);
    if (context == nullptr) return RETCODE_ERR_INVALIDHANDLE;
    try {
        return body(*context);
    } catch (...) {
        return tallyx::kOutOfMemory;
    }
}

}  // namespace

extern "C" {

TALLYX_API TallyxHandle TALLYX_CALL Init(void) {
    try {
        auto* context = new LibraryContext();
        tallyx::context_registry::Add(context);
        return context->Handle();
    } catch (...) {
        return nullptr;
    }
}

TALLYX_API int32_t TALLYX_CALL Term(TallyxHandle handle) {
    LibraryContext* context = tallyx::context_registry::Find(handle);
    if (context == nullptr) return RETCODE_ERR_INVALIDHANDLE;
    // A callback may not free the context whose operation called it.
    if (context->busy) return RETCODE_ERR_INVALIDHANDLE;
    tallyx::context_registry::Remove(context);
    delete context;
    return RETCODE_OK;
}

static int32_t RunDeviceOperation(LibraryContext& context, bool write) {
    // A callback may not start a second operation on the context that called it.
    if (context.busy) return RETCODE_ERR_INVALIDHANDLE;
    struct Busy {
        bool& flag;
        explicit Busy(bool& f) : flag(f) { flag = true; }
        ~Busy() { flag = false; }
    } busy(context.busy);
    int32_t result = context.Connect();
    if (result != RETCODE_OK) return result;
    result = write ? context.RunWrite() : context.RunRead();
    context.Disconnect();
    return result;
}

TALLYX_API int32_t TALLYX_CALL ReadDevice(TallyxHandle handle) {
    return Guarded(handle, [](LibraryContext& context) { return RunDeviceOperation(context, false); });
}

TALLYX_API int32_t TALLYX_CALL WriteDevice(TallyxHandle handle) {
    return Guarded(handle, [](LibraryContext& context) { return RunDeviceOperation(context, true); });
}

TALLYX_API int32_t TALLYX_CALL SetProgressCallback(TallyxHandle handle, ProgressCallback callback) {
    return Guarded(handle, [callback](LibraryContext& context) {
        context.progressCallback = callback;
        return RETCODE_OK;
    });
}

TALLYX_API int32_t TALLYX_CALL SetPromptCallback(TallyxHandle handle, PromptCallback callback) {
    return Guarded(handle, [callback](LibraryContext& context) {
        context.promptCallback = callback;
        return RETCODE_OK;
    });
}

TALLYX_API int32_t TALLYX_CALL GetProperty(TallyxHandle handle, const char* name, char* buffer, uint32_t bufferSize) {
    return Guarded(handle, [=](LibraryContext& context) {
        if (bufferSize == 0 || buffer == nullptr) return RETCODE_ERR_BUFFERTOOSMALL;
        if (name == nullptr) return RETCODE_ERR_INVALIDPROPERTY;
        return context.GetPropertyForCaller(name, buffer, bufferSize);
    });
}

TALLYX_API int32_t TALLYX_CALL SetProperty(TallyxHandle handle, const char* name, const char* value) {
    return Guarded(handle, [=](LibraryContext& context) {
        if (name == nullptr) return RETCODE_ERR_INVALIDPROPERTY;
        return context.properties.Set(name, value == nullptr ? "" : value, true);
    });
}

TALLYX_API int32_t TALLYX_CALL GetFirstValue(TallyxHandle handle, const char* dataType, const char* format, char* buffer,
                                 uint32_t bufferSize) {
    return Guarded(handle, [=](LibraryContext& context) {
        if (!context.driver) return RETCODE_NOMOREVALUES;
        if (bufferSize == 0 || buffer == nullptr) return RETCODE_ERR_BUFFERTOOSMALL;
        if (dataType == nullptr) return RETCODE_ERR_BADDATATYPE;
        if (format == nullptr) return RETCODE_ERR_BADFORMATTYPE;
        return context.driver->FirstValue(dataType, format, buffer, bufferSize);
    });
}

TALLYX_API int32_t TALLYX_CALL GetNextValue(TallyxHandle handle, char* buffer, uint32_t bufferSize) {
    return Guarded(handle, [=](LibraryContext& context) {
        if (!context.driver) return RETCODE_NOMOREVALUES;
        if (bufferSize == 0 || buffer == nullptr) return RETCODE_ERR_BUFFERTOOSMALL;
        return context.driver->NextValue(buffer, bufferSize);
    });
}

}  // extern "C"

#include "api/library_context.h"

namespace tallyx {

LibraryContext::LibraryContext() { marker = kMarker; }

LibraryContext::~LibraryContext() {
    Disconnect();
    driver.reset();
    marker = 0;
}

int32_t LibraryContext::Connect() {
    driver.reset();
    return RETCODE_ERR_PORTCLOSED;
}

int32_t LibraryContext::Disconnect() {
    if (promptCallback != nullptr && promptCallback(Handle(), PROMPT_REASON_DISCONNECT) != 0) return RETCODE_ABORTED;
    return RETCODE_OK;
}

int32_t LibraryContext::RunRead() { return driver ? driver->Read() : RETCODE_ERR_PORTCLOSED; }

int32_t LibraryContext::RunWrite() { return driver ? driver->Write() : RETCODE_ERR_PORTCLOSED; }

int32_t LibraryContext::GetPropertyForCaller(const char* name, char* buffer, uint32_t bufferSize) {
    int32_t result = properties.Get(name, buffer, bufferSize, true);
    if (result != RETCODE_OK) return result;
    if (driver) driver->OnGetProperty(name, buffer, bufferSize);
    return RETCODE_OK;
}

}  // namespace tallyx

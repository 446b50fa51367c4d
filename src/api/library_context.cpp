#include "api/library_context.h"

#include <cstring>

namespace tallyx {

namespace {

// ASCII comparison ignoring letter case, independent of the locale.
bool EqualsIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char ca = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 'a' + 'A') : *a;
        char cb = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 'a' + 'A') : *b;
        if (ca != cb) return false;
        if (ca == '\0') return true;
    }
}

}  // namespace

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
    // The statistics document is rebuilt on every read and stored under the
    // property's own name with library rights, whatever letter case was asked for;
    // the read below then applies the caller's rights and case-sensitive name.
    if (EqualsIgnoringCase(name, PROPERTY_DEV_STATISTICS)) {
        char document[DeviceStatistics::kDocumentCapacity];
        std::memset(document, 0, sizeof document);
        int32_t built = statistics.BuildDocument(document, sizeof document);
        if (built != RETCODE_OK) return built;
        int32_t stored = properties.Set(PROPERTY_DEV_STATISTICS, document, false);
        if (stored != RETCODE_OK) return stored;
    }
    int32_t result = properties.Get(name, buffer, bufferSize, true);
    if (result != RETCODE_OK) return result;
    if (driver) driver->OnGetProperty(name, buffer, bufferSize);
    return RETCODE_OK;
}

}  // namespace tallyx

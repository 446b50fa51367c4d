#pragma once
// What the last device operation of a context cost: bytes on the wire, pages
// read, retried requests and repaired records. Shown to callers as a small XML
// document, the value of the read-only property PROPERTY_DEV_STATISTICS.
#include <cstdint>

namespace tallyx {

struct DeviceStatistics {
    // Size of the working buffer the document is built in before it is stored
    // as the property; the document itself is at most 263 characters.
    static constexpr uint32_t kDocumentCapacity = 1024;

    uint32_t bytesSent = 0;         // added by the transfer layer for every byte written to the port
    uint32_t bytesReceived = 0;     // added by the transfer layer for every byte read from the port
    uint32_t pagesRead = 0;         // one per memory page received from a model A counter
    uint32_t commRetries = 0;       // one per failed request attempt, both models
    uint32_t recordsModified = 0;   // one per model A periodic record whose period end had to be filled in
    uint32_t recordsDiscarded = 0;  // kept for the document; nothing counts it

    void Reset();

    // Writes the one-line document into `buffer`, which holds at most
    // `capacity` - 1 characters. Returns RETCODE_OK, or
    // RETCODE_ERR_BUFFERTOOSMALL when it does not fit.
    int32_t BuildDocument(char* buffer, uint32_t capacity) const;
};

}  // namespace tallyx

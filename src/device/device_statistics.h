#pragma once
// What the last device operation of a context cost: bytes on the wire, pages
// read, retried requests and repaired records. The transfer layer and the
// drivers count into it; the context shows it to callers as the read-only
// property PROPERTY_DEV_STATISTICS (api/statistics_document.h).
#include <cstdint>

namespace tallyx {

struct DeviceStatistics {
    uint32_t bytesSent = 0;         // added by the transfer layer for every byte written to the port
    uint32_t bytesReceived = 0;     // added by the transfer layer for every byte read from the port
    uint32_t pagesRead = 0;         // one per memory page received from a model A counter
    uint32_t commRetries = 0;       // one per failed request attempt, both models
    uint32_t recordsModified = 0;   // one per model A periodic record whose period end had to be filled in
    uint32_t recordsDiscarded = 0;  // kept for the document; nothing counts it

    void Reset() { *this = DeviceStatistics{}; }
};

}  // namespace tallyx

#include "api/statistics_document.h"

#include <tallyx/tallyx.h>

#include "export/xml_writer.h"

namespace tallyx {

int32_t BuildStatisticsDocument(const DeviceStatistics& statistics, char* buffer, uint32_t capacity) {
    if (buffer == nullptr || capacity == 0) return RETCODE_ERR_BUFFERTOOSMALL;
    buffer[0] = '\0';
    XmlWriter writer;
    writer.buffer = buffer;
    writer.capacity = capacity;
    writer.pretty = 0;
    writer.depth = 0;

    struct Counter {
        const char* name;
        uint32_t value;
    };
    // Callers parse this document: the root name is kept exactly as it has always been.
    const Counter counters[] = {
        {"BytesSent", statistics.bytesSent},         {"BytesReceived", statistics.bytesReceived},
        {"PagesRead", statistics.pagesRead},         {"CommRetries", statistics.commRetries},
        {"RecordsModified", statistics.recordsModified}, {"RecordsDiscarded", statistics.recordsDiscarded},
    };
    if (!writer.OpenElement("Staticstics")) return RETCODE_ERR_BUFFERTOOSMALL;
    for (const Counter& counter : counters) {
        if (!writer.OpenElement(counter.name) || !writer.AddNumber(counter.value) ||
            !writer.CloseElement(counter.name))
            return RETCODE_ERR_BUFFERTOOSMALL;
    }
    if (!writer.CloseElement("Staticstics")) return RETCODE_ERR_BUFFERTOOSMALL;
    return RETCODE_OK;
}

}  // namespace tallyx

#include "api/device_statistics.h"

#include <tallyx/tallyx.h>

#include "export/xml_writer.h"

namespace tallyx {

void DeviceStatistics::Reset() { *this = DeviceStatistics{}; }

int32_t DeviceStatistics::BuildDocument(char* buffer, uint32_t capacity) const {
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
        {"BytesSent", bytesSent},         {"BytesReceived", bytesReceived},
        {"PagesRead", pagesRead},         {"CommRetries", commRetries},
        {"RecordsModified", recordsModified}, {"RecordsDiscarded", recordsDiscarded},
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

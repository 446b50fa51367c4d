#include "export/dump_document_builder.h"

#include <cstdio>
#include <cstring>
#include <new>

#include <tallyx/tallyx.h>

#include "device/device_values.h"
#include "properties/property_store.h"
#include "time/date_time.h"

namespace tallyx {

namespace {

// The settings in document order. The study settings document ends with the
// period; the processed data add the finish code and the units.
constexpr const char* kDocumentProperties[] = {
    PROPERTY_COMM_PORT,          PROPERTY_COMM_BAUD,           PROPERTY_COMM_PARITY,
    PROPERTY_COMM_NUMBITS,       PROPERTY_COMM_NUMSTOPBITS,    PROPERTY_DEV_UNITTYPE,
    PROPERTY_DEV_SERIALNO,       PROPERTY_DEV_FIRMWAREREV,     PROPERTY_DEV_BATTERYVOLTAGE,
    PROPERTY_DEV_ACR,            PROPERTY_STUDY_STATE,         PROPERTY_STUDY_CITY,
    PROPERTY_STUDY_COUNTY,       PROPERTY_STUDY_ADDRESS,       PROPERTY_STUDY_LANE,
    PROPERTY_STUDY_SPEEDLIMIT,   PROPERTY_STUDY_OPERATOR,      PROPERTY_STUDY_BEGINDATETIME,
    PROPERTY_STUDY_ENDDATETIME,  PROPERTY_STUDY_RANGETIME,     PROPERTY_STUDY_PERIODTIME,
    PROPERTY_STUDY_LENGTHBINS,   PROPERTY_STUDY_SPEEDBINS,     PROPERTY_STUDY_FCODE,
    PROPERTY_STUDY_MEASUREMENTUNITS,
};
constexpr uint32_t kProcessedPropertyCount = sizeof kDocumentProperties / sizeof kDocumentProperties[0];
constexpr uint32_t kStudySettingsPropertyCount = kProcessedPropertyCount - 2;

// Processed record elements go out five at a time.
constexpr uint32_t kElementsPerPiece = 5;

}  // namespace

DumpDocumentBuilder::DumpDocumentBuilder(Sink sink)
    : sink_(std::move(sink)), buffer_(new (std::nothrow) char[kWorkBufferSize]) {
    if (buffer_) buffer_[0] = '\0';
    writer_.buffer = buffer_.get();
    writer_.capacity = buffer_ ? kWorkBufferSize : 0;
    writer_.pretty = 1;
    writer_.depth = 0;
}

DumpDocumentBuilder::~DumpDocumentBuilder() = default;

bool DumpDocumentBuilder::Begin(const char* root) {
    if (!buffer_ || !sink_) return false;
    buffer_[0] = '\0';
    writer_.depth = 0;
    writer_.OpenElement(root);
    char stamp[DateTime::kFormatBufferSize];
    DateTime::Now().Format(DTF_DATE | DTF_TIME, stamp);
    writer_.AddAttribute("TimeStamp", stamp);
    return true;
}

void DumpDocumentBuilder::Flush() {
    Emit(buffer_.get());
    buffer_[0] = '\0';
}

void DumpDocumentBuilder::AddElement(const char* name, const char* text) {
    // A piece that does not fit is left out; the document goes on.
    if (writer_.OpenElement(name)) {
        writer_.AddText(text);
        writer_.CloseElement(name);
    }
}

void DumpDocumentBuilder::AddProperties(const PropertyStore& properties, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) AddElement(kDocumentProperties[i], properties.Text(kDocumentProperties[i]));
}

void DumpDocumentBuilder::WriteRaw(const RawRecordLayout& layout, const uint8_t* data, uint32_t length) {
    if (!Begin(layout.root)) return;
    uint32_t records = (data != nullptr && layout.recordSize != 0) ? length / layout.recordSize : 0;
    char number[16];
    std::snprintf(number, sizeof number, "%u", records);
    writer_.AddAttribute("NumRecs", number);

    char text[kFieldTextSize];
    for (uint32_t i = 0; i < records; ++i) {
        const uint8_t* record = data + static_cast<size_t>(i) * layout.recordSize;
        if (writer_.OpenElement("RECORD")) {
            std::snprintf(number, sizeof number, "%u", i + 1);
            writer_.AddAttribute("RecNum", number);
            for (const RawRecordField& field : layout.fields) {
                text[0] = '\0';
                field.format(record, text, sizeof text);
                AddElement(field.element, text);
            }
            writer_.CloseElement("RECORD");
        }
        if (i != 0 && layout.flushInterval != 0 && i % layout.flushInterval == 0) Flush();
    }
    writer_.CloseElement(layout.root);
    Flush();
    Emit("\n");
}

void DumpDocumentBuilder::WriteStudySettings(const PropertyStore& properties) {
    if (!Begin("WRITE")) return;
    AddProperties(properties, kStudySettingsPropertyCount);
    writer_.CloseElement("WRITE");
    Flush();
    Emit("\n");
}

void DumpDocumentBuilder::WriteElements(DeviceValues& values, const char* kind) {
    if (values.FirstElement(kind, writer_, true) == RETCODE_NOMOREVALUES) return;
    uint32_t inBuffer = 1;
    for (;;) {
        if (inBuffer == kElementsPerPiece) {
            Flush();
            inBuffer = 0;
        }
        if (values.NextElement(writer_, true) != RETCODE_OK) break;
        ++inBuffer;
    }
    if (inBuffer != 0) Flush();
}

void DumpDocumentBuilder::WriteCsvLines(DeviceValues& values, const char* kind) {
    // Each line goes out with its line feed, one byte being kept for it, so that
    // no other writer's text can land between the two in a shared file.
    char* line = buffer_.get();
    const uint32_t room = kWorkBufferSize - 1;
    if (values.FirstValue(kind, GETVALUE_FORMAT_CSV, line, room) != RETCODE_OK) return;
    do {
        const size_t length = std::strlen(line);
        line[length] = '\n';
        line[length + 1] = '\0';
        Emit(line);
    } while (values.NextValue(line, room) == RETCODE_OK);
    Emit("\n");
}

void DumpDocumentBuilder::WriteProcessed(const PropertyStore& properties, DeviceValues& values) {
    if (!Begin("READ_PROCESSED")) return;
    AddProperties(properties, kProcessedPropertyCount);
    Flush();
    Emit("\n");

    WriteElements(values, GETVALUE_DATA_SEQUENTIAL);
    Emit("\n");
    WriteElements(values, GETVALUE_DATA_PERIODIC);

    writer_.CloseElement("READ_PROCESSED");
    Flush();
    Emit("\n");

    WriteCsvLines(values, GETVALUE_DATA_SEQUENTIAL);
    WriteCsvLines(values, GETVALUE_DATA_PERIODIC);
    buffer_[0] = '\0';
    // These walks were the library's own: the caller's first GetNextValue must not go on
    // from where they ended, but find that no walk has been started.
    values.ResetWalk();
}

}  // namespace tallyx

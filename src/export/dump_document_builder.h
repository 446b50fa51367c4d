#pragma once
// The XML dump documents of a device operation: what the library received
// from a counter, before any correction, and what it made of it. Each
// document is built in one work buffer and handed to a sink (the comm log's
// dump file) in pieces, so the buffer stays small for long studies.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "export/xml_writer.h"

namespace tallyx {

class PropertyStore;
class DeviceValues;

// One child element of a raw RECORD: its name and how its value text is
// taken from the record's bytes.
struct RawRecordField {
    const char* element;
    // Writes the value text into text (size bytes, terminating zero
    // included). record points at the record's layout-size bytes.
    void (*format)(const uint8_t* record, char* text, uint32_t size);
};

// How a counter model's raw records are shown.
struct RawRecordLayout {
    const char* root;         // root element, e.g. READ_SEQUENTIAL_RAW
    uint32_t recordSize;      // bytes per record
    uint32_t flushInterval;   // records per piece after the first
    std::span<const RawRecordField> fields;
};

class DumpDocumentBuilder {
public:
    static constexpr uint32_t kWorkBufferSize = 102400;
    // Room for the value text of one raw field.
    static constexpr uint32_t kFieldTextSize = 1024;

    using Sink = std::function<void(const char* text)>;

    explicit DumpDocumentBuilder(Sink sink);
    ~DumpDocumentBuilder();

    DumpDocumentBuilder(const DumpDocumentBuilder&) = delete;
    DumpDocumentBuilder& operator=(const DumpDocumentBuilder&) = delete;

    // The raw records of data (length / recordSize of them; a trailing part
    // record is left out) under the layout's root, with NumRecs and RecNum.
    void WriteRaw(const RawRecordLayout& layout, const uint8_t* data, uint32_t length);
    // WRITE: the settings a study was programmed with.
    void WriteStudySettings(const PropertyStore& properties);
    // READ_PROCESSED: the settings, the decoded records as elements, then the
    // records as CSV lines. Walks values, abandoning any walk in progress, and
    // leaves no walk started.
    void WriteProcessed(const PropertyStore& properties, DeviceValues& values);

private:
    // Empties the buffer and opens root with the current time as TimeStamp.
    bool Begin(const char* root);
    void AddProperties(const PropertyStore& properties, uint32_t count);
    void AddElement(const char* name, const char* text);
    // Hands the text so far to the sink and empties the buffer; the open
    // elements stay open.
    void Flush();
    void Emit(const char* text) { sink_(text); }
    void WriteElements(DeviceValues& values, const char* kind);
    void WriteCsvLines(DeviceValues& values, const char* kind);

    Sink sink_;
    std::unique_ptr<char[]> buffer_;
    XmlWriter writer_;
};

}  // namespace tallyx

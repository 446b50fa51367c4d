#include "export/counter_values.h"

#include <cstdio>
#include <new>

#include <tallyx/tallyx.h>

#include "comm/comm_log.h"
#include "export/text_line.h"
#include "export/xml_writer.h"
#include "properties/property_store.h"
#include "properties/text_checks.h"
#include "properties/units.h"

namespace tallyx {

namespace {

constexpr uint32_t kDateTimeFlags = DTF_DATE | DTF_TIME;

// One child element holding a text: <name>text</name>.
bool AddChild(XmlWriter& writer, const char* name, const char* text) {
    return writer.OpenElement(name) && writer.AddText(text) && writer.CloseElement(name);
}

bool AddUnsignedChild(XmlWriter& writer, const char* name, uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
    return AddChild(writer, name, text);
}

bool AddSignedChild(XmlWriter& writer, const char* name, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return AddChild(writer, name, text);
}

bool AddTimeChild(XmlWriter& writer, const char* name, const DateTime& time) {
    char text[DateTime::kFormatBufferSize];
    time.Format(kDateTimeFlags, text);
    return AddChild(writer, name, text);
}

bool AddRecordNumber(XmlWriter& writer, uint32_t recordNumber) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(recordNumber));
    return writer.AddAttribute("RecNum", text);
}

// A writer over the caller's buffer: one line without whitespace between tags.
XmlWriter LineWriter(char* buffer, uint32_t size) {
    XmlWriter writer;
    writer.buffer = buffer;
    writer.capacity = size;
    writer.pretty = 0;
    writer.depth = 0;
    if (buffer != nullptr && size != 0) buffer[0] = '\0';
    return writer;
}

int32_t LineResult(const TextLine& line) { return line.Ok() ? RETCODE_OK : RETCODE_ERR_BUFFERTOOSMALL; }

}  // namespace

PropertyStore& CounterValues::Properties() const { return *context.properties; }

CommLog* CounterValues::Log() const { return context.log; }

void CounterValues::StoreNumber(const char* property, int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    Properties().Set(property, text, false);
}

void CounterValues::Clear() {
    DeviceValues::Clear();
    study_ = StudyFacts{};
    records_.reset();
    recordCount_ = 0;
    bins_.Free();
    periodCursor_ = 0;
    periodicTotal_ = 0;
}

bool CounterValues::AllocateSequential(uint32_t count) {
    records_.reset();
    recordCount_ = 0;
    if (count == 0) return true;
    records_.reset(new (std::nothrow) SequentialRecord[count]);
    if (!records_) return false;
    recordCount_ = count;
    return true;
}

// ---------------------------------------------------------------- walks

int32_t CounterValues::StartWalk(const char* kind) {
    if (EqualsIgnoreCase(kind, kDataSequential)) {
        position = 0;
        dataKind = kSequential;
        return RETCODE_OK;
    }
    if (EqualsIgnoreCase(kind, kDataPeriodic)) {
        position = 0;
        dataKind = kPeriodic;
        // Both texts are copied out first: the store hands out one shared buffer.
        char speedBins[PropertyStore::kWorkingSize];
        char lengthBins[PropertyStore::kWorkingSize];
        speedBins[0] = lengthBins[0] = '\0';
        Properties().Get(PROPERTY_STUDY_SPEEDBINS, speedBins, sizeof speedBins, false);
        Properties().Get(PROPERTY_STUDY_LENGTHBINS, lengthBins, sizeof lengthBins, false);
        if (!bins_.Load(speedBins, lengthBins) && Log() != nullptr) {
            Log()->LogError("Failed to allocate the bin matrix: the bins of every period are reported as 0");
        }
        periodCursor_ = 0;
        periodicTotal_ = PeriodicCount();
        return RETCODE_OK;
    }
    return RETCODE_ERR_BADDATATYPE;
}

int32_t CounterValues::FirstValue(const char* kind, const char* formatName, char* buffer, uint32_t size) {
    position = -1;
    dataKind = kNoData;
    format = kNoFormat;
    metricOutput = Properties().IsMetric() ? 1 : 0;
    if (buffer != nullptr && size != 0) buffer[0] = '\0';

    if (kind == nullptr || kind[0] == '\0') return RETCODE_ERR_BADDATATYPE;
    if (formatName == nullptr || formatName[0] == '\0') return RETCODE_ERR_BADFORMATTYPE;
    if (EqualsIgnoreCase(formatName, kFormatCsv)) {
        format = kCsv;
    } else if (EqualsIgnoreCase(formatName, kFormatXml)) {
        format = kXml;
    } else {
        return RETCODE_ERR_BADFORMATTYPE;
    }

    const int32_t started = StartWalk(kind);
    if (started != RETCODE_OK) return started;
    if (format == kXml) return NextValue(buffer, size);
    return dataKind == kSequential ? WriteSequentialHeader(buffer, size) : WritePeriodicHeader(buffer, size);
}

int32_t CounterValues::FirstElement(const char* kind, XmlWriter& writer, bool withRecordNumber) {
    position = -1;
    dataKind = kNoData;
    format = kXml;
    metricOutput = 0;
    if (kind == nullptr || kind[0] == '\0') return RETCODE_ERR_BADDATATYPE;
    const int32_t started = StartWalk(kind);
    if (started != RETCODE_OK) return started;
    return NextElement(writer, withRecordNumber);
}

int32_t CounterValues::NextValue(char* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) return RETCODE_ERR_BUFFERTOOSMALL;
    buffer[0] = '\0';
    return WriteNext(nullptr, buffer, size, false);
}

int32_t CounterValues::NextElement(XmlWriter& writer, bool withRecordNumber) {
    return WriteNext(&writer, nullptr, 0, withRecordNumber);
}

int32_t CounterValues::WriteNext(XmlWriter* writer, char* buffer, uint32_t size, bool withRecordNumber) {
    // The position moves on before the record is written, so a record that
    // does not fit is passed over by the next call.
    const uint32_t index = static_cast<uint32_t>(position);
    if (dataKind == kSequential) {
        if (position < 0 || index >= recordCount_) return RETCODE_NOMOREVALUES;
        ++position;
        const SequentialRecord& record = records_[index];
        if (writer != nullptr) return WriteSequentialElement(record, *writer, withRecordNumber);
        if (format == kCsv) return WriteSequentialCsv(record, buffer, size);
        XmlWriter line = LineWriter(buffer, size);
        return WriteSequentialElement(record, line, false);
    }
    if (dataKind == kPeriodic) {
        if (position < 0 || index >= periodicTotal_) return RETCODE_NOMOREVALUES;
        PeriodicRow row;
        BuildPeriodicRow(index, row);
        ++position;
        if (writer != nullptr) return WritePeriodicElement(row, *writer, withRecordNumber);
        if (format == kCsv) return WritePeriodicCsv(row, buffer, size);
        XmlWriter line = LineWriter(buffer, size);
        return WritePeriodicElement(row, line, false);
    }
    return RETCODE_ERR_ITERNOTINITIALIZED;
}

// ---------------------------------------------------------------- values

int32_t CounterValues::OutputTemperature(int32_t celsius) const {
    return metricOutput ? celsius : CelsiusToFahrenheit(celsius);
}

uint32_t CounterValues::OutputSpeed(uint32_t mph) const { return metricOutput ? MphToKmh(mph) : mph; }

uint32_t CounterValues::OutputLength(uint32_t feet) const { return metricOutput ? FeetToDecimetres(feet) : feet; }

int32_t CounterValues::PeriodEnd(const PeriodicRow& row, DateTime& end) const {
    char begin[PropertyStore::kWorkingSize];
    const int32_t result = Properties().Get(PROPERTY_STUDY_BEGINDATETIME, begin, sizeof begin, false);
    if (result != RETCODE_OK) return result;
    DateTime::Parse(end, begin);
    end.AddTime(0, 0, static_cast<int32_t>(row.endOffsetMinutes), 0, 0);
    return RETCODE_OK;
}

// ---------------------------------------------------------------- CSV

int32_t CounterValues::WriteSequentialHeader(char* buffer, uint32_t size) const {
    TextLine line(buffer, size);
    line.Append("TimeStamp,Flag,Flag Description,Speed,Length");
    return LineResult(line);
}

int32_t CounterValues::WritePeriodicHeader(char* buffer, uint32_t size) const {
    TextLine line(buffer, size);
    line.Append("TimeStamp,Temperature,Occupancy,Count,ReverseCount");
    for (uint32_t s = 1; s <= bins_.Rows() && line.Ok(); ++s) {
        for (uint32_t l = 1; l <= bins_.Columns() && line.Ok(); ++l) {
            line.Append(",Bin_");
            line.AppendUnsigned(s);
            line.AppendChar('_');
            line.AppendUnsigned(l);
        }
    }
    return LineResult(line);
}

int32_t CounterValues::WriteSequentialCsv(const SequentialRecord& record, char* buffer, uint32_t size) const {
    TextLine line(buffer, size);
    line.AppendTime(record.time);
    line.AppendChar(',');
    line.AppendUnsigned(record.flags);
    line.AppendChar(',');
    AppendFlagDescription(flagNames_, record.flags, line);
    line.AppendChar(',');
    line.AppendUnsigned(OutputSpeed(record.speed));
    line.AppendChar(',');
    line.AppendUnsigned(OutputLength(record.length));
    return LineResult(line);
}

int32_t CounterValues::WritePeriodicCsv(const PeriodicRow& row, char* buffer, uint32_t size) const {
    DateTime end;
    const int32_t result = PeriodEnd(row, end);
    if (result != RETCODE_OK) return result;
    TextLine line(buffer, size);
    line.AppendTime(end);
    line.AppendChar(',');
    if (row.hasTemperature) line.AppendSigned(OutputTemperature(row.temperature));
    line.AppendChar(',');
    line.AppendUnsigned(row.occupancy);
    line.AppendChar(',');
    line.AppendUnsigned(row.count);
    line.AppendChar(',');
    line.AppendUnsigned(row.reverseCount);
    for (uint32_t s = 0; s < bins_.Rows() && line.Ok(); ++s) {
        for (uint32_t l = 0; l < bins_.Columns() && line.Ok(); ++l) {
            line.AppendChar(',');
            line.AppendUnsigned(bins_.Cell(s, l));
        }
    }
    return LineResult(line);
}

// ---------------------------------------------------------------- XML

int32_t CounterValues::WriteSequentialElement(const SequentialRecord& record, XmlWriter& writer,
                                             bool withRecordNumber) const {
    char description[256];
    FormatFlagDescription(flagNames_, record.flags, description, sizeof description);
    bool ok = writer.OpenElement("Sequential");
    if (ok && withRecordNumber) ok = AddRecordNumber(writer, record.recordNumber);
    ok = ok && AddTimeChild(writer, "TimeStamp", record.time);
    ok = ok && AddUnsignedChild(writer, "Flag", record.flags);
    ok = ok && AddChild(writer, "Flag Description", description);
    ok = ok && AddUnsignedChild(writer, "Speed", OutputSpeed(record.speed));
    ok = ok && AddUnsignedChild(writer, "Length", OutputLength(record.length));
    ok = ok && writer.CloseElement("Sequential");
    return ok ? RETCODE_OK : RETCODE_ERR_BUFFERTOOSMALL;
}

int32_t CounterValues::WritePeriodicElement(const PeriodicRow& row, XmlWriter& writer, bool withRecordNumber) const {
    DateTime end;
    const int32_t result = PeriodEnd(row, end);
    if (result != RETCODE_OK) return result;
    bool ok = writer.OpenElement("Periodic");
    if (ok && withRecordNumber) ok = AddRecordNumber(writer, row.recordNumber);
    ok = ok && AddTimeChild(writer, "TimeStamp", end);
    if (row.hasTemperature) ok = ok && AddSignedChild(writer, "Temperature", OutputTemperature(row.temperature));
    ok = ok && AddUnsignedChild(writer, "Occupancy", row.occupancy);
    ok = ok && AddUnsignedChild(writer, "Count", row.count);
    ok = ok && AddUnsignedChild(writer, "ReverseCount", row.reverseCount);
    ok = ok && writer.OpenElement("Bin");
    for (uint32_t s = 0; s < bins_.Rows() && ok; ++s) {
        ok = writer.OpenNumberElement(s + 1);
        for (uint32_t l = 0; l < bins_.Columns() && ok; ++l) {
            ok = writer.OpenNumberElement(l + 1) && writer.AddNumber(bins_.Cell(s, l)) &&
                 writer.CloseNumberElement(l + 1);
        }
        ok = ok && writer.CloseNumberElement(s + 1);
    }
    ok = ok && writer.CloseElement("Bin");
    ok = ok && writer.CloseElement("Periodic");
    return ok ? RETCODE_OK : RETCODE_ERR_BUFFERTOOSMALL;
}

}  // namespace tallyx

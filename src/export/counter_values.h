#pragma once
// What the values object of every counter model does alike: the decoded
// vehicles, what the answers said about the study, the speed-by-length bin
// matrix of the current period, and the walk that renders the vehicles and the
// periodic records one at a time, as CSV or XML lines into a caller's buffer
// (GetFirstValue/GetNextValue) or as XML elements into a document writer (the
// dump documents).
//
// A model derives from it, names its record flags and supplies the hooks
// below: its answers, its records and its periodic records.
#include <cstdint>
#include <memory>

#include "device/device_values.h"
#include "export/bin_matrix.h"
#include "export/flag_names.h"
#include "export/sequential_record.h"

namespace tallyx {

class PropertyStore;
class CommLog;

// What the answers of a read said about the study, as the model's values took
// them: what the drivers decide on. The same answers are stored as text in the
// properties for the caller; the drivers never read those back.
struct StudyFacts {
    // Model A's finish code as the caller sees it, or model B's state code.
    int32_t finishCode = 0;
    DateTime begin;
    DateTime end;
    int32_t periodMinutes = 0;
    // Model B: the records the counter announces, and their size in bytes.
    int32_t recordCount = 0;
    int32_t recordSize = 0;
};

// One periodic record as the export presents it.
struct PeriodicRow {
    uint32_t endOffsetMinutes = 0;  // minutes from the study begin to the end of the period
    uint32_t count = 0;
    uint32_t reverseCount = 0;
    uint32_t occupancy = 0;
    uint32_t recordNumber = 0;
    bool hasTemperature = false;  // models without a thermometer leave the column empty
    int32_t temperature = 0;      // degrees Celsius
};

class CounterValues : public DeviceValues {
public:
    static constexpr const char* kDataSequential = "GETVALUE_DATA_SEQUENTIAL";
    static constexpr const char* kDataPeriodic = "GETVALUE_DATA_PERIODIC";
    static constexpr const char* kFormatCsv = "GETVALUE_FORMAT_CSV";
    static constexpr const char* kFormatXml = "GETVALUE_FORMAT_XML";

    CounterValues(ValuesContext context, FlagNameTable flagNames) : DeviceValues(context), flagNames_(flagNames) {}

    // ---- what each model supplies
    // Stores what the answer to a command says into the properties and the
    // study facts. 0, or RETCODE_ERR_BADRESPONSE for an answer that must parse
    // and does not; answers the model does not know are passed over.
    virtual int32_t ParseAnswer(const char* command, const char* answer) = 0;
    // Decodes the downloaded vehicle records (length bytes) into the
    // sequential records. 0, or kOutOfMemory.
    virtual int32_t DecodeSequential(const uint8_t* data, uint32_t length) = 0;
    // How many periodic records a walk has.
    virtual uint32_t PeriodicCount() = 0;
    // The contents of periodic record index. A walk asks for 0, 1, 2, ... in
    // order after setting periodCursor_ to 0 and loading bins_ afresh; the
    // model counts the period's vehicles into bins_ with CountPeriod.
    virtual void BuildPeriodicRow(uint32_t index, PeriodicRow& row) = 0;

    // Resets the walk and the study facts, and frees the vehicles, the bin
    // limits and the matrix.
    void Clear() override;

    // What the answers since the last Clear said about the study.
    const StudyFacts& Study() const { return study_; }

    // Starts a walk in XML without unit conversion and writes the first
    // record element into writer. 0, 2 (no record of the kind), -60, -101.
    int32_t FirstElement(const char* kind, XmlWriter& writer, bool withRecordNumber) override;
    // Starts a walk and writes the CSV header or, in XML, the first record.
    // 0, 2, -60, -61, -101.
    int32_t FirstValue(const char* kind, const char* format, char* buffer, uint32_t size) override;
    // The next record element; 0, 2 after the last, -62 without a walk, -101.
    int32_t NextElement(XmlWriter& writer, bool withRecordNumber) override;
    // The next line; 0, 2 after the last, -62 without a walk, -101 (the
    // record is passed over all the same).
    int32_t NextValue(char* buffer, uint32_t size) override;

    const SequentialRecord* SequentialRecords() const { return records_.get(); }
    uint32_t SequentialCount() const { return recordCount_; }
    const BinMatrix& Bins() const { return bins_; }
    FlagNameTable FlagNames() const { return flagNames_; }

protected:
    PropertyStore& Properties() const;
    CommLog* Log() const;
    // Stores a number as decimal text, with the library's rights.
    void StoreNumber(const char* property, int64_t value);

    // The vehicles of one period, from start up to (not including) end.
    struct PeriodCount {
        uint32_t count = 0;
        uint32_t reverseCount = 0;  // of those, the ones with reverseFlag
    };
    // Counts the period's vehicles from periodCursor_ on, passing over those
    // before start, into the result and bins_ (zeroed first); each counted
    // vehicle with a speed also goes to withSpeed(vehicle). Leaves
    // periodCursor_ at the first vehicle of a later period.
    template <class WithSpeed>
    PeriodCount CountPeriod(const DateTime& start, const DateTime& end, uint16_t reverseFlag, WithSpeed withSpeed) {
        PeriodCount counted;
        bins_.Reset();
        for (; periodCursor_ < recordCount_; ++periodCursor_) {
            const SequentialRecord& vehicle = records_[periodCursor_];
            if (DateTime::Compare(vehicle.time, start) < 0) continue;
            if (DateTime::Compare(vehicle.time, end) >= 0) break;  // a later period's vehicle
            ++counted.count;
            if ((vehicle.flags & reverseFlag) != 0) ++counted.reverseCount;
            if (vehicle.speed != 0) {
                bins_.Add(vehicle.speed, vehicle.length);
                withSpeed(vehicle);
            }
        }
        return counted;
    }

    // Replaces the vehicles by count default records. On a failed allocation
    // there are no vehicles afterwards and the result is false.
    bool AllocateSequential(uint32_t count);

    StudyFacts study_;
    std::unique_ptr<SequentialRecord[]> records_;
    uint32_t recordCount_ = 0;
    BinMatrix bins_;
    // Index of the first vehicle not yet given to a period of the current walk.
    uint32_t periodCursor_ = 0;

private:
    int32_t StartWalk(const char* kind);
    int32_t WriteNext(XmlWriter* writer, char* buffer, uint32_t size, bool withRecordNumber);

    int32_t WriteSequentialHeader(char* buffer, uint32_t size) const;
    int32_t WritePeriodicHeader(char* buffer, uint32_t size) const;
    int32_t WriteSequentialCsv(const SequentialRecord& record, char* buffer, uint32_t size) const;
    int32_t WriteSequentialElement(const SequentialRecord& record, XmlWriter& writer, bool withRecordNumber) const;
    int32_t WritePeriodicCsv(const PeriodicRow& row, char* buffer, uint32_t size) const;
    int32_t WritePeriodicElement(const PeriodicRow& row, XmlWriter& writer, bool withRecordNumber) const;
    // The end of the period: the study begin plus the row's offset.
    int32_t PeriodEnd(const PeriodicRow& row, DateTime& end) const;
    int32_t OutputTemperature(int32_t celsius) const;
    uint32_t OutputSpeed(uint32_t mph) const;
    uint32_t OutputLength(uint32_t feet) const;

    FlagNameTable flagNames_;
    uint32_t periodicTotal_ = 0;
};

}  // namespace tallyx

#pragma once
// The decoded data of a model A counter: the answers of a read turned into
// properties, the vehicles rebuilt and corrected from the raw flash records,
// the periodic records with their vehicle counts and bin matrix, and (through
// CounterValues) the value export over them.
#include <cstdint>
#include <memory>

#include <tallyx/tallyx.h>

#include "drivers/modela/zk110_records.h"
#include "export/counter_values.h"

namespace tallyx {

class ZK110Values : public CounterValues {
public:
    explicit ZK110Values(ValuesContext context);

    // Frees every record and the bins, and clears the date encoding flag.
    void Clear() override;

    // Stores what an answer says into the properties, the study facts or the
    // date encoding flag. Every answer begins with an echo of what it answers
    // (":X:7 ..."), so the command is not needed; answers that match no known
    // echo are passed over. Always 0.
    int32_t ParseAnswer(const char* command, const char* answer) override;

    // Decodes the raw vehicle records (length / 6 of them) into the sequential
    // records: drops empty and invalid ones, rebuilds full time stamps from the
    // study begin, corrects those out of sequence or beyond the study end and
    // implausible speeds and lengths. 0, or kOutOfMemory.
    int32_t DecodeSequential(const uint8_t* data, uint32_t length) override;

    // The periodic records of the counter, decoded from its periodic pages.
    uint32_t PeriodicCount() override { return periodicCount_; }
    // Counts the vehicles of the period into its record and the bin matrix.
    void BuildPeriodicRow(uint32_t index, PeriodicRow& row) override;

    // Decodes the periodic pages (length / 260 of them). 0, or kOutOfMemory.
    int32_t DecodePeriodic(const uint8_t* data, uint32_t length);

    bool DateEncoding() const { return dateEncoding_; }
    void SetDateEncoding(bool on) { dateEncoding_ = on; }

    const ZK110PeriodicRecord* PeriodicRecords() const { return periodic_.get(); }

private:
    // ---- the steps of DecodeSequential
    // The records that are no empty or invalid flash, and the first of them
    // (total when there is none); each other one is logged as removed.
    uint32_t CountValidRecords(const uint8_t* data, uint32_t total, uint32_t& first) const;
    // Whether the first valid record must be dropped: without a day in the
    // records, one outside the study cannot be placed.
    bool FirstCannotBePlaced(const uint8_t* raw, const DateTime& begin, const DateTime& end) const;
    // The record's full time stamp after `running` (the previous one, which
    // it then becomes): a time before it is moved past midnight when the
    // records carry no day, one beyond the study end takes the previous time;
    // either sets the modified-timestamp flag.
    DateTime PlaceInTime(const uint8_t* raw, const DateTime& end, DateTime& running, SequentialRecord& record) const;
    // Clears or replaces implausible speeds and lengths, with flags saying so.
    void CorrectMeasurements(SequentialRecord& record) const;

    void StoreBattery(const char* answer);
    void StoreAccumulatedCharge(const char* answer);
    void StoreFinishCode(const char* answer);
    DateTime StoreClockTime(const char* property, const char* answer);
    int32_t StoreHexNumber(const char* property, const char* answer);
    void StoreBinList(const char* property, const char* answer);

    std::unique_ptr<ZK110PeriodicRecord[]> periodic_;
    uint32_t periodicCount_ = 0;
    bool dateEncoding_ = false;
};

}  // namespace tallyx

#pragma once
// The decoded data of a model B counter: the answers of a read turned into
// properties, the vehicles decoded from the raw 8-byte records, the periods
// derived from the vehicles with their counts, occupancy and bin matrix, and
// (through RecordValues) the value export over them.
#include <cstdint>

#include <tallyx/tallyx.h>

#include "drivers/modelb/zk220_records.h"
#include "drivers/study_facts.h"
#include "export/record_values.h"

namespace tallyx {

class ZK220Values : public RecordValues {
public:
    // Feet per second in one mile per hour.
    static constexpr double kFeetPerSecondPerMph = 1.4666666666666666;
    // Percentages above this do not fit the periodic record.
    static constexpr uint32_t kMostOccupancy = 65535;

    explicit ZK220Values(ValuesContext context);

    void Clear() override;

    // Stores what the answer to command (the command word, compared exactly)
    // says into the properties. 0, or RETCODE_ERR_BADRESPONSE for a
    // study information line or user-area document that does not parse;
    // unknown commands are ignored.
    int32_t ParseAnswer(const char* command, const char* answer);

    // What the study information since the last Clear said.
    const StudyFacts& Study() const { return study_; }

    // Decodes size / 8 raw records (a trailing part record is ignored) into the
    // sequential records, stamped from the study begin. 0, or kOutOfMemory.
    int32_t DecodeRecords(const uint8_t* data, uint32_t size);

    // The number of study periods, a partial last one included; 0 when the
    // period is not positive or the study does not end after its begin.
    uint32_t GetNumPeriodicRecords();

    // Counts the vehicles of period n into out and the bin matrix. Called for
    // n = 0, 1, 2, ... in order after a walk reset periodCursor_. The vehicles
    // are counted also without bin limits; the result says whether the bins
    // were there to be filled.
    bool BuildPeriodicRecord(uint32_t n, ZK220PeriodicRecord& out);

protected:
    uint32_t PeriodicRecordCount() override { return GetNumPeriodicRecords(); }
    void BuildPeriodicRow(uint32_t index, PeriodicRow& row) override;

private:
    int32_t StoreStudyInfo(const char* answer);
    int32_t StoreUserArea(const char* answer);

    StudyFacts study_;
};

}  // namespace tallyx

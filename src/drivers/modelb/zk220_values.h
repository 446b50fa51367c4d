#pragma once
// The decoded data of a model B counter: the answers of a read turned into
// properties, the vehicles decoded from the raw 8-byte records, the periods
// derived from the vehicles with their counts, occupancy and bin matrix, and
// (through CounterValues) the value export over them.
#include <cstdint>

#include <tallyx/tallyx.h>

#include "drivers/modelb/zk220_records.h"
#include "export/counter_values.h"

namespace tallyx {

class ZK220Values : public CounterValues {
public:
    // Feet per second in one mile per hour.
    static constexpr double kFeetPerSecondPerMph = 1.4666666666666666;
    // Percentages above this do not fit the periodic record.
    static constexpr uint32_t kMostOccupancy = 65535;

    explicit ZK220Values(ValuesContext context);

    // Stores what the answer to command (the command word, compared exactly)
    // says into the properties and the study facts. 0, or
    // RETCODE_ERR_BADRESPONSE for a study information line or user-area
    // document that does not parse; unknown commands are passed over.
    int32_t ParseAnswer(const char* command, const char* answer) override;

    // Decodes size / 8 raw records (a trailing part record is ignored) into the
    // sequential records, stamped from the study begin. 0, or kOutOfMemory.
    int32_t DecodeSequential(const uint8_t* data, uint32_t size) override;

    // The number of study periods, a partial last one included; 0 when the
    // period is not positive or the study does not end after its begin.
    uint32_t PeriodicCount() override;

    // Counts the vehicles of period index into the row and the bin matrix:
    // called for 0, 1, 2, ... in order after a walk reset periodCursor_. The
    // vehicles are counted also without bin limits.
    void BuildPeriodicRow(uint32_t index, PeriodicRow& row) override;

private:
    int32_t StoreStudyInfo(const char* answer);
    int32_t StoreUserArea(const char* answer);
};

}  // namespace tallyx

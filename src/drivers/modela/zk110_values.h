#pragma once
// The decoded data of a model A counter: the answers of a read turned into
// properties, the vehicles rebuilt and corrected from the raw flash records,
// the periodic records with their vehicle counts and bin matrix, and (through
// RecordValues) the value export over them.
#include <cstdint>
#include <memory>

#include <tallyx/tallyx.h>

#include "drivers/modela/zk110_records.h"
#include "drivers/study_facts.h"
#include "export/record_values.h"

namespace tallyx {

class ZK110Values : public RecordValues {
public:
    explicit ZK110Values(ValuesContext context);

    // Frees every record and the bins, and clears the date encoding flag.
    void Clear() override;

    // Stores what one answer text (length bytes, or up to a zero byte) says
    // into the properties, or the date encoding flag. Answers that
    // match no known echo are ignored. Always 0.
    int32_t ParseAnswer(const char* answer, uint32_t length);

    // Decodes the raw vehicle records (length / 6 of them) into the sequential
    // records: drops empty and invalid ones, rebuilds full time stamps from the
    // study begin, corrects those out of sequence or beyond the study end and
    // implausible speeds and lengths. 0, or kOutOfMemory.
    int32_t ProcessSequential(const uint8_t* data, uint32_t length);

    // Decodes the periodic pages (length / 260 of them). 0, or kOutOfMemory.
    int32_t ProcessPeriodic(const uint8_t* data, uint32_t length);

    // Counts the vehicles of periodic record index into it and into the bin
    // matrix. Called for 0, 1, 2, ... in order during a periodic walk.
    void FillPeriod(uint32_t index);

    // What the answers since the last Clear said about the study.
    const StudyFacts& Study() const { return study_; }

    bool DateEncoding() const { return dateEncoding_; }
    void SetDateEncoding(bool on) { dateEncoding_ = on; }

    const ZK110PeriodicRecord* PeriodicRecords() const { return periodic_.get(); }
    uint32_t PeriodicCount() const { return periodicCount_; }

    // The names of model A's flags.
    static FlagNameTable Flags();

protected:
    uint32_t PeriodicRecordCount() override { return periodicCount_; }
    void BuildPeriodicRow(uint32_t index, PeriodicRow& row) override;

private:
    void StoreBattery(const char* answer);
    void StoreAccumulatedCharge(const char* answer);
    void StoreFinishCode(const char* answer);
    DateTime StoreClockTime(const char* property, const char* answer);
    int32_t StoreHexNumber(const char* property, const char* answer);
    void StoreBinList(const char* property, const char* answer);

    std::unique_ptr<ZK110PeriodicRecord[]> periodic_;
    uint32_t periodicCount_ = 0;
    bool dateEncoding_ = false;
    StudyFacts study_;
};

}  // namespace tallyx

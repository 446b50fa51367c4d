#include "drivers/modelb/zk220_raw_layouts.h"

#include <cstdio>

#include "drivers/modelb/zk220_records.h"

namespace tallyx {

namespace {

void TimeOffset(const uint8_t* record, char* text, uint32_t size) {
    std::snprintf(text, size, "%u", static_cast<unsigned>(ZK220TimeOffset(record)));
}

// All eight bits, as received: the dump shows what the counter sent.
void Flag(const uint8_t* record, char* text, uint32_t size) {
    std::snprintf(text, size, "%u", static_cast<unsigned>(record[0]));
}

void Speed(const uint8_t* record, char* text, uint32_t size) { FormatZK220Measure(record[4], record[5], text, size); }

void Length(const uint8_t* record, char* text, uint32_t size) { FormatZK220Measure(record[6], record[7], text, size); }

constexpr RawRecordField kSequentialFields[] = {
    {"TIME_OFFSET_SEC", TimeOffset},
    {"FLAG", Flag},
    {"SPEED", Speed},
    {"LENGTH", Length},
};

}  // namespace

const RawRecordLayout kZK220SequentialRawLayout{"READ_SEQUENTIAL_RAW", kZK220RecordSize, 20, kSequentialFields};

}  // namespace tallyx

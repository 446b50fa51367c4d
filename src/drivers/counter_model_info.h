#pragma once
// One counter model as the table of models states it. Plain data without
// dependencies: each model's folder fills in its own row (<model>_model.h),
// and the library, tallyx and tallysim read the rows (drivers/counter_models.h).
#include <cstdint>

namespace tallyx {

// A line a counter sends, its wake-up line or an answer, is read into a buffer
// of this many bytes; a longer one is cut.
inline constexpr uint32_t kCounterLineCapacity = 1024;

struct CounterModelInfo {
    // The model's name: logged when the model is detected, and the mark its
    // unit type carries ("ZK110").
    const char* name;
    // How tallyx and tallysim call the model ("A").
    const char* letter;
    // Every wake-up line of the model contains wakeUpText once upper-cased;
    // wakeUpMark tells it from the other models' lines, "" for the model of
    // the lines that no other row claims (exactly one row).
    const char* wakeUpText;
    const char* wakeUpMark;
    // The progress steps of a full read, when the total is known once the
    // record count has been read: fixedSteps, then stepsPerChunk for every
    // chunkRecords records. A readChunkRecords of 0: not known ahead.
    uint32_t readFixedSteps;
    uint32_t readStepsPerChunk;
    uint32_t readChunkRecords;
};

}  // namespace tallyx

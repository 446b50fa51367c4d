#pragma once
// Model A (ZK110) as the table of models, tallyx and tallysim know it, and the
// sizes of its flash that its driver and values share. Plain data.
#include <cstdint>

#include "drivers/counter_model_info.h"

namespace tallyx {

// A flash page: 252 bytes of record data, then a CRC of bytes 0 to 254 at
// offset 256 (drivers/modela/zk110_driver.h).
inline constexpr uint32_t kZK110PageSize = 260;
inline constexpr uint32_t kZK110PageDataSize = 252;
// A vehicle record of the sequential pages.
inline constexpr uint32_t kZK110RecordSize = 6;

// "READY" and a carriage return, also when the counter restarts after a study
// completed. The flash is read until an empty page: no total is known ahead.
inline constexpr CounterModelInfo kZK110Model{.name = "ZK110", .letter = "A", .wakeUpText = "READY", .wakeUpMark = "",
                                              .readFixedSteps = 0, .readStepsPerChunk = 0, .readChunkRecords = 0};

}  // namespace tallyx

#pragma once
// Model B (ZK220) as the table of models, tallyx and tallysim know it, and the
// constants of a full read its progress plan is derived from. Plain data.
#include <cstdint>

#include "drivers/counter_model_info.h"

namespace tallyx {

// A raw vehicle record.
inline constexpr uint32_t kZK220RecordSize = 8;
// A full read asks five identity queries, the study information and the user
// area in four blocks, then fetches the records this many at a time.
inline constexpr uint32_t kZK220IdentityQueries = 5;
inline constexpr uint32_t kZK220UserAreaBlocks = 4;
inline constexpr uint32_t kZK220ChunkRecords = 50;
// The user-area document, in which the counter keeps a study's site texts and
// bins, is at most this long.
inline constexpr uint32_t kZK220UserAreaCapacity = 1023;

// A full read: every query and user-area block is one request, and every
// chunk its request and the records stored.
inline constexpr CounterModelInfo kZK220Model{
    .name = "ZK220", .letter = "B", .wakeUpText = "READY", .wakeUpMark = "ZK220",
    .readFixedSteps = kZK220IdentityQueries + 1 + kZK220UserAreaBlocks, .readStepsPerChunk = 2,
    .readChunkRecords = kZK220ChunkRecords};

}  // namespace tallyx

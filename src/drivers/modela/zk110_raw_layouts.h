#pragma once
// How the raw records of a model A counter appear in the dump documents:
// 6-byte sequential records and 260-byte periodic pages.
#include "drivers/modela/zk110_model.h"
#include "export/dump_document_builder.h"

namespace tallyx {

extern const RawRecordLayout kZK110SequentialRawLayout;
extern const RawRecordLayout kZK110PeriodicRawLayout;

// FRAME_DATA of a periodic page: big-endian 16-bit values from byte 13 while
// both bytes lie in the page's 252 bytes of record data (119 values).
constexpr uint32_t kZK110FrameDataOffset = 13;
constexpr uint32_t kZK110FrameDataEnd = kZK110PageDataSize;

}  // namespace tallyx

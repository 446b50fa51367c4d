#pragma once
// What the answers of a read said about the study, as the decoders took them:
// the values the protocols decide on. The same answers are stored as text in
// the properties for the caller; the protocols never read those back.
#include <cstdint>

#include "time/date_time.h"

namespace tallyx {

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

}  // namespace tallyx

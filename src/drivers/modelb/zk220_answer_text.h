#pragma once
// The two structured answers of a model B counter: the study information line
// and the user-area document. Both come from the counter and are parsed
// without trusting their lengths: every field is cut to its capacity.
#include <cstdint>
#include <string_view>

#include "drivers/modelb/zk220_model.h"
#include "time/date_time.h"

namespace tallyx {

// The data line of GETSTUDYINFO:
//   TYPE STATE "YYYY-MM-DD hh:mm:ss" "YYYY-MM-DD hh:mm:ss" PERIODSEC RECORDS RECORDSIZE
struct ZK220StudyInfo {
    static constexpr uint32_t kTypeCapacity = 127;

    char type[kTypeCapacity + 1] = {};
    int32_t stateCode = 0;   // 1, 2 and 3: the study is still active
    DateTime begin;          // the null time when the text is no date
    DateTime end;
    std::string_view beginText;  // the quoted texts, within the parsed line
    std::string_view endText;
    int32_t periodMinutes = 0;  // the counter sends seconds
    int32_t recordCount = 0;
    int32_t recordSize = 0;
};

// Parses the line into info; false when its shape is wrong. A longer type is
// cut to the capacity; numbers beyond 32 bits saturate.
bool ParseZK220StudyInfo(const char* text, ZK220StudyInfo& info);

// The fields of the user-area document, each the text between <TAG> and
// </TAG> found anywhere in the document.
struct ZK220UserArea {
    static constexpr uint32_t kShortCapacity = 127;
    static constexpr uint32_t kLongCapacity = kZK220UserAreaCapacity;

    char version[kShortCapacity + 1] = {};      // V
    char speedBins[kLongCapacity + 1] = {};     // SB
    char lengthBins[kLongCapacity + 1] = {};    // LB
    char state[kShortCapacity + 1] = {};        // ST
    char city[kShortCapacity + 1] = {};         // CT
    char county[kShortCapacity + 1] = {};       // CNT
    char address[kLongCapacity + 1] = {};       // ADDR
    char lane[kShortCapacity + 1] = {};         // LN
    uint32_t speedLimit = 0;                    // SPL
    char operatorInitials[kShortCapacity + 1] = {};  // OP
};

// Parses the document into area; false when a tag is missing or a closing tag
// comes before its opening tag. Fields longer than their capacity are cut.
// A speed limit that is no number, or a negative one, reads as 0.
bool ParseZK220UserArea(const char* text, ZK220UserArea& area);

// Reads a decimal number the way atol does (leading blanks, a sign, digits),
// saturating at the 32-bit limits; 0 when there are no digits.
int32_t ParseZK220Number(const char* text);

}  // namespace tallyx

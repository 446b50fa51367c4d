#pragma once
// The decoded data of a model B counter: its raw 8-byte records and
// structured answers, the answers of a read turned into properties, the
// vehicles decoded from the records, the periods derived from the vehicles
// with their counts, occupancy and bin matrix, and (through CounterValues)
// the value export over them.
#include <cstdint>
#include <string_view>

#include <tallyx/tallyx.h>

#include "drivers/modelb/zk220_model.h"
#include "export/counter_values.h"
#include "export/dump_document_builder.h"
#include "time/date_time.h"

namespace tallyx {

// Flag bits of model B vehicles; only the low five bits of the raw byte count.
inline constexpr uint16_t kZK220Forward = 0x01;
inline constexpr uint16_t kZK220Reverse = 0x02;
inline constexpr uint16_t kZK220Unclassified = 0x04;
inline constexpr uint8_t kZK220FlagMask = 0x1F;

// A raw vehicle record:
//   byte 0: flags; bytes 1-3: seconds from the study begin, big-endian;
//   bytes 4, 5: speed (mph) as whole part and fraction digits;
//   bytes 6, 7: length (feet) the same way.
// The fraction byte is read as the digits after the point: 7 is .7, 70 is .70.
inline uint32_t ZK220TimeOffset(const uint8_t* raw) {
    return (uint32_t{raw[1]} << 16) | (uint32_t{raw[2]} << 8) | raw[3];
}

// The measurement whole.fraction rounded half up to a whole number, held in
// 8 bits: a value that rounds to 256 or more is kept as 255, the largest the
// record can hold, rather than wrapping to a small number.
uint8_t ZK220RoundedMeasure(uint8_t whole, uint8_t fraction);

// The measurement as the decimal text "whole.fraction".
void FormatZK220Measure(uint8_t whole, uint8_t fraction, char* text, uint32_t size);

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

// How the raw records appear in the dump documents.
extern const RawRecordLayout kZK220SequentialRawLayout;

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

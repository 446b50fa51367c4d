#pragma once
// The decoded data of a model A counter: its raw records and answer texts,
// the answers of a read turned into properties, the vehicles rebuilt and
// corrected from the raw flash records, the periodic records with their
// vehicle counts and bin matrix, and (through CounterValues) the value export
// over them.
#include <cstdint>
#include <memory>

#include <tallyx/tallyx.h>

#include "drivers/modela/zk110_model.h"
#include "export/counter_values.h"
#include "export/dump_document_builder.h"
#include "time/date_time.h"

namespace tallyx {

// Flag bits of model A vehicles: the low byte comes from the counter, the
// high byte records what the library corrected.
inline constexpr uint16_t kZK110Forward = 0x0002;
inline constexpr uint16_t kZK110Reverse = 0x0004;
inline constexpr uint16_t kZK110NoLength = 0x0020;
inline constexpr uint16_t kZK110Stopped = 0x0040;
inline constexpr uint16_t kZK110Unclassified = 0x0080;
inline constexpr uint16_t kZK110ModifiedTimestamp = 0x0100;
inline constexpr uint16_t kZK110DefaultLength = 0x0200;
inline constexpr uint16_t kZK110DefaultSpeed = 0x0400;

// Plausible measurements; anything outside is cleared or replaced.
inline constexpr uint8_t kZK110MinLength = 6;
inline constexpr uint8_t kZK110MaxLength = 141;
inline constexpr uint8_t kZK110DefaultLengthFeet = 14;
inline constexpr uint8_t kZK110MinSpeed = 4;
inline constexpr uint8_t kZK110MaxSpeed = 127;

// A raw vehicle record:
//   byte 0: bits 7-5 day of the month bits 4-2, bits 4-0 hour
//   byte 1: bits 7-6 day of the month bits 1-0, bits 5-0 minute
//   byte 2: second; byte 3: flags; byte 4: speed (mph); byte 5: length (feet)
// Day 0 means the record carries no day.
inline uint32_t ZK110RecordDay(const uint8_t* raw) {
    return static_cast<uint32_t>(((raw[0] >> 5) << 2) | (raw[1] >> 6));
}

// Erased flash (bytes 0, 1 and 3 all 0xFF) is no record; with date encoding
// a record without a day is not one either.
inline bool IsValidZK110Record(const uint8_t* raw, bool dateEncoding) {
    if (raw[3] == 0xFF && raw[0] == 0xFF && raw[1] == 0xFF) return false;
    if (dateEncoding && raw[0] < 24 && raw[1] < 60) return false;
    return true;
}

// The record's time stamp placed on the running date: a day smaller than the
// running day moves to the next month; without a day the running date stays.
// The fields are taken as they are, nothing is normalised.
DateTime ApplyZK110TimeStamp(const DateTime& running, const uint8_t* raw);

// One study period of a model A counter.
struct ZK110PeriodicRecord {
    uint16_t endOffsetMinutes = 0;  // minutes from the study begin to the end of the period
    uint16_t count = 0;             // vehicles of the period
    uint16_t reverseCount = 0;      // of those, the reverse ones
    int8_t temperature = 0;         // degrees Celsius, signed
    uint16_t occupancy = 0;
    uint32_t recordNumber = 0;      // 1-based index of the period
};

// ---- pieces of the answer texts

// The answer from its n-th character (counting from 1) with leading spaces
// skipped; the empty text when the answer is shorter.
const char* AnswerTextFrom(const char* answer, uint32_t position);

// The hexadecimal digits at the start of text as one number; 0 without
// digits. A number beyond 32 bits reads as 0xFFFFFFFF.
uint32_t ParseHexNumber(const char* text);

// Rewrites a list of hexadecimal bin limits in decimal: each run of
// hexadecimal digits is a number, every other character a separator that is
// kept after a number and copied when it follows none. A number 0 ends the
// list (unused limits are sent as 0). Trailing spaces are removed. The
// output holds at most size - 1 characters; a longer list is cut after the
// last piece that fits.
void ConvertHexBinList(const char* text, char* output, uint32_t size);

// Voltage of a raw reading of the older units.
double LegacyBatteryVoltage(uint32_t raw);

// Charge left in percent for a battery voltage.
uint32_t BatteryPercentFromVoltage(double volts);

// The counter's clock text: twelve decimal digits YYMMDDhhmmss, one pair per
// field (year minus 2000, month, day, hour, minute, second). Reads the pairs
// in order; a missing pair counts as 0, and a pair counts as the digits it
// starts with (none: 0). Milliseconds are 0, the year is 2000 + YY. A null
// text reads as the empty text.
DateTime ParseClockText(const char* text);

// ---- the raw records in the dump documents: 6-byte sequential records and
// 260-byte periodic pages

extern const RawRecordLayout kZK110SequentialRawLayout;
extern const RawRecordLayout kZK110PeriodicRawLayout;

// FRAME_DATA of a periodic page: big-endian 16-bit values from byte 13 while
// both bytes lie in the page's 252 bytes of record data (119 values).
constexpr uint32_t kZK110FrameDataOffset = 13;
constexpr uint32_t kZK110FrameDataEnd = kZK110PageDataSize;

class ZK110Values : public CounterValues {
public:
    explicit ZK110Values(ValuesContext context);

    // Frees every record and the bins, and clears the date encoding flag.
    void Clear() override;

    // Stores what an answer says into the properties, the study facts or the
    // date encoding flag. Every answer begins with an echo of what it answers
    // (":X:7 ..."), so the command is not needed; answers that match no known
    // echo are passed over. Always 0.
    int32_t ParseAnswer(const char* command, const char* answer) override;

    // Decodes the raw vehicle records (length / 6 of them) into the sequential
    // records: drops empty and invalid ones, rebuilds full time stamps from the
    // study begin, corrects those out of sequence or beyond the study end and
    // implausible speeds and lengths. 0, or kOutOfMemory.
    int32_t DecodeSequential(const uint8_t* data, uint32_t length) override;

    // The periodic records of the counter, decoded from its periodic pages.
    uint32_t PeriodicCount() override { return periodicCount_; }
    // Counts the vehicles of the period into its record and the bin matrix.
    void BuildPeriodicRow(uint32_t index, PeriodicRow& row) override;

    // Decodes the periodic pages (length / 260 of them). 0, or kOutOfMemory.
    int32_t DecodePeriodic(const uint8_t* data, uint32_t length);

    bool DateEncoding() const { return dateEncoding_; }
    void SetDateEncoding(bool on) { dateEncoding_ = on; }

    const ZK110PeriodicRecord* PeriodicRecords() const { return periodic_.get(); }

private:
    // ---- the steps of DecodeSequential
    // The records that are no empty or invalid flash, and the first of them
    // (total when there is none); each other one is logged as removed.
    uint32_t CountValidRecords(const uint8_t* data, uint32_t total, uint32_t& first) const;
    // Whether the first valid record must be dropped: without a day in the
    // records, one outside the study cannot be placed.
    bool FirstCannotBePlaced(const uint8_t* raw, const DateTime& begin, const DateTime& end) const;
    // The record's full time stamp after `running` (the previous one, which
    // it then becomes): a time before it is moved past midnight when the
    // records carry no day, one beyond the study end takes the previous time;
    // either sets the modified-timestamp flag.
    DateTime PlaceInTime(const uint8_t* raw, const DateTime& end, DateTime& running, SequentialRecord& record) const;
    // Clears or replaces implausible speeds and lengths, with flags saying so.
    void CorrectMeasurements(SequentialRecord& record) const;

    void StoreBattery(const char* answer);
    void StoreAccumulatedCharge(const char* answer);
    void StoreFinishCode(const char* answer);
    DateTime StoreClockTime(const char* property, const char* answer);
    int32_t StoreHexNumber(const char* property, const char* answer);
    void StoreBinList(const char* property, const char* answer);

    std::unique_ptr<ZK110PeriodicRecord[]> periodic_;
    uint32_t periodicCount_ = 0;
    bool dateEncoding_ = false;
};

}  // namespace tallyx

#include "drivers/modela/zk110_values.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "comm/comm_log.h"
#include "device/device_statistics.h"
#include "export/text_line.h"
#include "properties/property_store.h"
#include "properties/text_checks.h"

namespace tallyx {

// ---------------------------------------------------------------- raw records

DateTime ApplyZK110TimeStamp(const DateTime& running, const uint8_t* raw) {
    SystemTime fields;
    running.ToSystemTime(fields);
    const uint32_t day = ZK110RecordDay(raw);
    if (day != 0) {
        if (day < fields.Day) {
            if (fields.Month >= 12) {
                fields.Month = 1;
                ++fields.Year;
            } else {
                ++fields.Month;
            }
        }
        fields.Day = static_cast<uint16_t>(day);
    }
    fields.Hour = raw[0] & 0x1F;
    fields.Minute = raw[1] & 0x3F;
    fields.Second = raw[2];
    return DateTime(fields.Year, fields.Month, fields.Day, fields.Hour, fields.Minute, fields.Second,
                    fields.Milliseconds);
}

// ---------------------------------------------------------------- answer texts

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

const char* AnswerTextFrom(const char* answer, uint32_t position) {
    if (answer == nullptr) return "";
    const size_t skip = position > 0 ? position - 1 : 0;
    if (strnlen(answer, skip) < skip) return "";
    const char* text = answer + skip;
    while (*text == ' ') ++text;
    return text;
}

uint32_t ParseHexNumber(const char* text) {
    uint64_t value = 0;
    for (const char* p = text; p != nullptr; ++p) {
        const int digit = HexDigitValue(*p);
        if (digit < 0) break;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > UINT32_MAX) value = UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

void ConvertHexBinList(const char* text, char* output, uint32_t size) {
    TextLine line(output, size);
    const char* number = nullptr;  // start of the pending run of digits
    for (const char* p = text != nullptr ? text : "";; ++p) {
        if (*p != '\0' && HexDigitValue(*p) >= 0) {
            if (number == nullptr) number = p;
            continue;
        }
        if (number != nullptr) {
            const uint32_t value = ParseHexNumber(number);
            number = nullptr;
            if (value == 0) break;
            line.AppendSigned(static_cast<int32_t>(value));
        }
        if (*p == '\0') break;
        line.AppendChar(*p);
    }
    if (size == 0 || output == nullptr) return;
    size_t length = std::strlen(output);
    while (length > 0 && output[length - 1] == ' ') output[--length] = '\0';
}

double LegacyBatteryVoltage(uint32_t raw) {
    const double r = static_cast<double>(raw);
    return (r - (188.0 - r) * 0.22) * 0.0129 * 1.6;
}

uint32_t BatteryPercentFromVoltage(double volts) {
    if (volts < 3.74) return 15;
    if (volts < 3.81) return 30;
    if (volts < 3.87) return 50;
    if (volts < 3.94) return 75;
    if (volts < 4.19) return 90;
    return 100;
}

DateTime ParseClockText(const char* text) {
    uint32_t fields[6] = {};
    const char* p = text != nullptr ? text : "";
    for (uint32_t& field : fields) {
        size_t pairLength = 0;
        while (pairLength < 2 && p[pairLength] != '\0') ++pairLength;
        for (size_t i = 0; i < pairLength && p[i] >= '0' && p[i] <= '9'; ++i) {
            field = field * 10 + static_cast<uint32_t>(p[i] - '0');
        }
        p += pairLength;
    }
    return DateTime(2000 + fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], 0);
}

// ---------------------------------------------------------------- raw layouts

namespace {

void WriteNumber(uint32_t value, char* text, uint32_t size) { std::snprintf(text, size, "%u", value); }

uint32_t BigEndian16(const uint8_t* bytes) { return (uint32_t{bytes[0]} << 8) | bytes[1]; }

template <uint32_t kOffset>
void Byte(const uint8_t* record, char* text, uint32_t size) {
    WriteNumber(record[kOffset], text, size);
}

template <uint32_t kOffset>
void Word(const uint8_t* record, char* text, uint32_t size) {
    WriteNumber(BigEndian16(record + kOffset), text, size);
}

void FrameData(const uint8_t* record, char* text, uint32_t size) {
    uint32_t length = 0;
    if (size != 0) text[0] = '\0';
    for (uint32_t offset = kZK110FrameDataOffset; offset + 2 <= kZK110FrameDataEnd; offset += 2) {
        if (length >= size) break;
        int written = std::snprintf(text + length, size - length, offset == kZK110FrameDataOffset ? "%u" : ",%u",
                                    BigEndian16(record + offset));
        if (written < 0 || static_cast<uint32_t>(written) >= size - length) {
            // A value that does not fit is left out whole.
            text[length] = '\0';
            break;
        }
        length += static_cast<uint32_t>(written);
    }
}

constexpr RawRecordField kSequentialFields[] = {
    {"HOUR", Byte<0>},  {"MINUTE", Byte<1>}, {"SECOND", Byte<2>},
    {"FLAG", Byte<3>},  {"SPEED", Byte<4>},  {"LENGTH", Byte<5>},
};

constexpr RawRecordField kPeriodicFields[] = {
    {"OFFSET", Word<0>},
    {"COUNT", Word<2>},
    {"TEMPERATURE", Byte<4>},
    {"VOLTAGE", Byte<5>},
    {"CLASS", Byte<6>},
    {"ACR_VOLATAGE", Word<7>},
    {"REVERSE_VEHICLES", Word<9>},
    {"OCCUPANCY_HIGH", Byte<11>},
    {"OCCUPANCY_LOW", Byte<12>},
    {"FRAME_DATA", FrameData},
};

}  // namespace

const RawRecordLayout kZK110SequentialRawLayout{"READ_SEQUENTIAL_RAW", kZK110RecordSize, 20, kSequentialFields};
const RawRecordLayout kZK110PeriodicRawLayout{"READ_PERIODIC_RAW", kZK110PageSize, 5, kPeriodicFields};

namespace {

constexpr FlagName kFlagNames[] = {
    {kZK110Forward, "FORWARD"},
    {kZK110Reverse, "REVERSE", true},
    {kZK110NoLength, "NO_LENGTH"},
    {kZK110Stopped, "STOPPED"},
    {kZK110Unclassified, "UNCLASSIFIED"},
    {kZK110ModifiedTimestamp, "MODIFIED_TIMESTAMP"},
    {kZK110DefaultLength, "DEFAULT_LENGTH"},
    {kZK110DefaultSpeed, "DEFAULT_SPEED"},
};

// Free texts of the study and the unit: the echo, then the text.
constexpr KeyedProperty kTextAnswers[] = {
    {":X:0", PROPERTY_STUDY_STATE},    {":X:1", PROPERTY_STUDY_CITY},     {":X:2", PROPERTY_STUDY_COUNTY},
    {":X:3", PROPERTY_STUDY_ADDRESS},  {":X:4", PROPERTY_STUDY_LANE},     {":X:5", PROPERTY_STUDY_SPEEDLIMIT},
    {":X:6", PROPERTY_STUDY_OPERATOR}, {":X:7", PROPERTY_DEV_SERIALNO},   {":X:8", PROPERTY_DEV_UNITTYPE},
};

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

ZK110Values::ZK110Values(ValuesContext context) : CounterValues(context, kFlagNames) { Clear(); }

void ZK110Values::Clear() {
    CounterValues::Clear();
    periodic_.reset();
    periodicCount_ = 0;
    dateEncoding_ = false;
}

// ---------------------------------------------------------------- answers

int32_t ZK110Values::ParseAnswer(const char* /*command*/, const char* text) {
    if (text == nullptr) return RETCODE_OK;
    PropertyStore& properties = Properties();
    for (const KeyedProperty& entry : kTextAnswers) {
        if (StartsWith(text, entry.key)) {
            properties.Set(entry.property, AnswerTextFrom(text, 5), false);
            return RETCODE_OK;
        }
    }
    if (StartsWith(text, ":b")) {
        StoreBattery(text);
    } else if (StartsWith(text, ":J")) {
        StoreAccumulatedCharge(text);
    } else if (StartsWith(text, ":F")) {
        if (std::strchr(text, '>') != nullptr) {
            properties.Set(PROPERTY_DEV_FIRMWAREREV, AnswerTextFrom(text, 5), false);
        } else {
            StoreFinishCode(text);
        }
    } else if (StartsWith(text, ":B")) {
        study_.begin = StoreClockTime(PROPERTY_STUDY_BEGINDATETIME, text);
    } else if (StartsWith(text, ":E")) {
        study_.end = StoreClockTime(PROPERTY_STUDY_ENDDATETIME, text);
    } else if (StartsWith(text, ":H")) {
        StoreHexNumber(PROPERTY_STUDY_RANGETIME, text);
    } else if (StartsWith(text, ":P")) {
        study_.periodMinutes = StoreHexNumber(PROPERTY_STUDY_PERIODTIME, text);
    } else if (StartsWith(text, ":C")) {
        StoreBinList(PROPERTY_STUDY_LENGTHBINS, text);
    } else if (StartsWith(text, ":S")) {
        StoreBinList(PROPERTY_STUDY_SPEEDBINS, text);
    } else if (StartsWith(text, ":Q")) {
        dateEncoding_ = std::strchr(text, 's') != nullptr;
    }
    return RETCODE_OK;
}

void ZK110Values::StoreBattery(const char* answer) {
    // ":b:N": the unit cannot measure its voltage.
    if (answer[2] == ':' && answer[3] == 'N') return;
    PropertyStore& properties = Properties();
    if (std::strchr(answer, '.') != nullptr) {
        properties.Set(PROPERTY_DEV_BATTERYVOLTAGE, AnswerTextFrom(answer, 4), false);
    } else {
        char voltage[32];
        std::snprintf(voltage, sizeof voltage, "%f", LegacyBatteryVoltage(ParseHexNumber(AnswerTextFrom(answer, 3))));
        properties.Set(PROPERTY_DEV_BATTERYVOLTAGE, voltage, false);
    }
    // The percentage follows the voltage as stored.
    const double volts = std::strtod(properties.Text(PROPERTY_DEV_BATTERYVOLTAGE), nullptr);
    StoreNumber(PROPERTY_DEV_BATTERYPERCENT, BatteryPercentFromVoltage(volts));
}

void ZK110Values::StoreAccumulatedCharge(const char* answer) {
    PropertyStore& properties = Properties();
    const char* acr = AnswerTextFrom(answer, 4);
    properties.Set(PROPERTY_DEV_ACR, acr, false);

    // Fields separated by "_": field 1 is the charge left, field 3 the full charge.
    const char* fields[4] = {};
    const char* field = acr;
    for (int index = 0; index < 4 && field != nullptr; ++index) {
        fields[index] = field;
        field = std::strchr(field, '_');
        if (field != nullptr) ++field;
    }
    if (fields[1] == nullptr || fields[3] == nullptr) return;
    const uint32_t left = static_cast<uint32_t>(ParseLong(fields[1]));
    const uint32_t full = static_cast<uint32_t>(ParseLong(fields[3]));
    if (full == 0) return;
    StoreNumber(PROPERTY_DEV_BATTERYPERCENT, left * 100u / full);
}

void ZK110Values::StoreFinishCode(const char* answer) {
    uint32_t code = ParseHexNumber(AnswerTextFrom(answer, 3));
    switch (code) {
        case 40:
        case 42:
        case 43: code = 0; break;
        case 41: code = 1; break;
        case 44: code = 14; break;
        case 45: code = 15; break;
        case 46: code = 20; break;
        default: break;
    }
    study_.finishCode = static_cast<int32_t>(code);
    StoreNumber(PROPERTY_STUDY_FCODE, study_.finishCode);
}

DateTime ZK110Values::StoreClockTime(const char* property, const char* answer) {
    char text[DateTime::kFormatBufferSize];
    ParseClockText(AnswerTextFrom(answer, 3)).Format(DTF_DATE | DTF_TIME, text);
    Properties().Set(property, text, false);
    // The time as the caller reads it: a clock text that is no calendar time
    // counts as what its stored text reads as.
    DateTime time;
    DateTime::Parse(time, text);
    return time;
}

int32_t ZK110Values::StoreHexNumber(const char* property, const char* answer) {
    const int32_t number = static_cast<int32_t>(ParseHexNumber(AnswerTextFrom(answer, 3)));
    StoreNumber(property, number);
    return number;
}

void ZK110Values::StoreBinList(const char* property, const char* answer) {
    char list[PropertyStore::kWorkingSize];
    ConvertHexBinList(AnswerTextFrom(answer, 3), list, sizeof list);
    Properties().Set(property, list, false);
}

// ---------------------------------------------------------------- vehicles

int32_t ZK110Values::DecodeSequential(const uint8_t* data, uint32_t length) {
    const uint32_t total = data != nullptr ? length / kZK110RecordSize : 0;
    auto raw = [data](uint32_t index) { return data + static_cast<size_t>(index) * kZK110RecordSize; };
    uint32_t first = total;
    uint32_t kept = CountValidRecords(data, total, first);
    const DateTime begin = Properties().Time(PROPERTY_STUDY_BEGINDATETIME);
    const DateTime end = Properties().Time(PROPERTY_STUDY_ENDDATETIME);
    const uint32_t dropped = kept > 0 && FirstCannotBePlaced(raw(first), begin, end) ? first : total;
    if (dropped != total) --kept;
    if (kept == 0) {
        if (Log()) Log()->LogInfo("Done processing sequential data: no sequential records retrieved");
        return RETCODE_OK;
    }
    if (!AllocateSequential(kept)) {
        if (Log()) Log()->LogError("Failed to allocate memory for %u sequential records", kept);
        return kOutOfMemory;
    }

    DateTime running = begin;
    uint32_t out = 0;
    for (uint32_t i = first; i < total && out < kept; ++i) {
        const uint8_t* bytes = raw(i);
        if (i == dropped || !IsValidZK110Record(bytes, dateEncoding_)) continue;
        SequentialRecord& record = records_[out++];
        record.recordNumber = i + 1;
        record.flags = bytes[3];
        record.speed = bytes[4];
        record.length = bytes[5];
        record.time = PlaceInTime(bytes, end, running, record);
        CorrectMeasurements(record);
    }
    if (Log()) {
        Log()->LogInfo("Done processing sequential data: retrieved %lu sequential records",
                       static_cast<unsigned long>(recordCount_));
    }
    return RETCODE_OK;
}

uint32_t ZK110Values::CountValidRecords(const uint8_t* data, uint32_t total, uint32_t& first) const {
    // Invalid records are dropped; the others keep their position in the
    // download as their record number. Dropping is done by skipping them, so
    // the cost stays linear however many there are.
    uint32_t valid = 0;
    for (uint32_t i = 0; i < total; ++i) {
        if (!IsValidZK110Record(data + static_cast<size_t>(i) * kZK110RecordSize, dateEncoding_)) {
            if (Log()) Log()->LogWarning("Removing sequential record #%u: Empty/Invalid", i + 1);
            continue;
        }
        if (valid++ == 0) first = i;
    }
    return valid;
}

bool ZK110Values::FirstCannotBePlaced(const uint8_t* raw, const DateTime& begin, const DateTime& end) const {
    // Without a day in the records, a first record outside the study cannot be placed.
    if (dateEncoding_) return false;
    const DateTime time = ApplyZK110TimeStamp(begin, raw);
    return DateTime::Compare(time, begin) < 0 || DateTime::Compare(time, end) > 0;
}

DateTime ZK110Values::PlaceInTime(const uint8_t* raw, const DateTime& end, DateTime& running,
                                  SequentialRecord& record) const {
    const uint32_t number = record.recordNumber;
    DateTime time = ApplyZK110TimeStamp(running, raw);
    if (DateTime::Compare(time, running) < 0) {
        if (!dateEncoding_) {
            // Without days, a time before the previous one is past midnight.
            if (Log()) Log()->LogWarning("Correcting the timestamp of the sequential record #%u: Not in sequence", number);
            time.AddTime(1, 0, 0, 0, 0);
            record.flags |= kZK110ModifiedTimestamp;
        } else if (Log()) {
            Log()->LogWarning("The timestamp of the sequential record #%u is not in sequence", number);
        }
    }
    if (DateTime::Compare(time, end) > 0) {
        if (Log()) Log()->LogWarning("Correcting the timestamp of the sequential record #%u: Not in study range", number);
        time = running;
        record.flags |= kZK110ModifiedTimestamp;
    }
    running = time;
    return time;
}

void ZK110Values::CorrectMeasurements(SequentialRecord& record) const {
    const uint32_t number = record.recordNumber;
    CommLog* log = Log();
    if ((record.flags & (kZK110Stopped | kZK110Unclassified)) != 0) {
        if (log) {
            log->LogWarning("Clearing out speed and length of the sequential record #%u: Flags indicate "
                            "unclassified or stopped vehicle",
                            number);
        }
        record.speed = 0;
        record.length = 0;
        return;
    }
    if ((record.flags & kZK110NoLength) != 0) {
        if (log) log->LogWarning("Clearing out length of the sequential record #%u: Flags indicate no length", number);
        record.length = 0;
    } else if (record.length < kZK110MinLength || record.length > kZK110MaxLength) {
        if (log) {
            log->LogWarning("Correcting the length of the sequential record #%u: length < %d or > %d", number,
                            kZK110MinLength, kZK110MaxLength);
        }
        record.length = kZK110DefaultLengthFeet;
        record.flags |= kZK110DefaultLength;
    }
    if (record.speed < kZK110MinSpeed || record.speed > kZK110MaxSpeed) {
        if (log) {
            log->LogWarning("Clearing out speed and length of the sequential record #%u: speed < %d or > %d", number,
                            kZK110MinSpeed, kZK110MaxSpeed);
        }
        record.speed = 0;
        record.length = 0;
        record.flags |= kZK110DefaultSpeed | kZK110DefaultLength;
    }
}

// ---------------------------------------------------------------- periods

int32_t ZK110Values::DecodePeriodic(const uint8_t* data, uint32_t length) {
    CommLog* log = Log();
    if (data == nullptr || length == 0) {
        if (log) log->LogInfo("Done processing periodic data: no periodic records retrieved");
        return RETCODE_OK;
    }
    const uint32_t total = length / kZK110PageSize;
    periodic_.reset();
    periodicCount_ = 0;
    if (total != 0) {
        periodic_.reset(new (std::nothrow) ZK110PeriodicRecord[total]);
        if (!periodic_) {
            if (log) log->LogError("Failed to allocate memory for %u periodic records", total);
            return kOutOfMemory;
        }
        periodicCount_ = total;
    }

    const uint16_t period = static_cast<uint16_t>(Properties().Number(PROPERTY_STUDY_PERIODTIME));
    DeviceStatistics* statistics = context.statistics;
    for (uint32_t i = 0; i < total; ++i) {
        const uint8_t* page = data + static_cast<size_t>(i) * kZK110PageSize;
        ZK110PeriodicRecord& record = periodic_[i];
        record.recordNumber = i + 1;
        record.endOffsetMinutes = static_cast<uint16_t>((page[0] << 8) | page[1]);
        if (record.endOffsetMinutes == 0) {
            // The counter left the period end out: the period's position tells it.
            record.endOffsetMinutes = static_cast<uint16_t>((i + 1) * period);
            if (statistics != nullptr) ++statistics->recordsModified;
        }
        record.count = 0;
        record.reverseCount = 0;
        // A two's-complement byte: frost readings stay negative.
        record.temperature = static_cast<int8_t>(page[4]);
        record.occupancy = static_cast<uint16_t>((page[11] << 8) | page[12]);
    }
    if (log) {
        log->LogInfo("Done processing periodic data: retrieved %lu periodic records", static_cast<unsigned long>(total));
    }
    return RETCODE_OK;
}

void ZK110Values::BuildPeriodicRow(uint32_t index, PeriodicRow& row) {
    // The vehicles of the period are counted whether or not a bin matrix exists;
    // without bin limits only the matrix is left out.
    if (index >= periodicCount_) return;
    ZK110PeriodicRecord& period = periodic_[index];
    const int32_t minutes = Properties().Number(PROPERTY_STUDY_PERIODTIME);
    DateTime periodEnd = Properties().Time(PROPERTY_STUDY_BEGINDATETIME);
    periodEnd.AddTime(0, 0, period.endOffsetMinutes, 0, 0);
    DateTime periodStart = periodEnd;
    periodStart.AddTime(0, 0, -minutes, 0, 0);

    const PeriodCount counted = CountPeriod(periodStart, periodEnd, kZK110Reverse, [](const SequentialRecord&) {});
    // The record holds 16-bit counts.
    period.count = static_cast<uint16_t>(counted.count);
    period.reverseCount = static_cast<uint16_t>(counted.reverseCount);

    row.endOffsetMinutes = period.endOffsetMinutes;
    row.count = period.count;
    row.reverseCount = period.reverseCount;
    row.occupancy = period.occupancy;
    row.recordNumber = period.recordNumber;
    row.hasTemperature = true;
    row.temperature = period.temperature;
}

}  // namespace tallyx

#include "drivers/modelb/zk220_values.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "comm/comm_log.h"
#include "properties/property_store.h"
#include "properties/text_checks.h"
#include "properties/units.h"

namespace tallyx {

// ---------------------------------------------------------------- raw records

uint8_t ZK220RoundedMeasure(uint8_t whole, uint8_t fraction) {
    // The fraction byte holds the digits after the point, so it is worth
    // fraction / 10^digits; it rounds the whole part up from one half on.
    // Integer arithmetic gives exactly what reading "whole.fraction" as a
    // number and rounding it half up gives.
    const uint32_t scale = fraction >= 100 ? 1000 : fraction >= 10 ? 100 : 10;
    const uint32_t rounded = uint32_t{whole} + (uint32_t{fraction} * 2 >= scale ? 1 : 0);
    return static_cast<uint8_t>(rounded > 255 ? 255 : rounded);
}

void FormatZK220Measure(uint8_t whole, uint8_t fraction, char* text, uint32_t size) {
    std::snprintf(text, size, "%u.%u", static_cast<unsigned>(whole), static_cast<unsigned>(fraction));
}

// ---------------------------------------------------------------- answer texts

namespace {

// Copies the length characters at text into field (capacity characters and a
// terminating zero), cutting what does not fit.
void CopyField(const char* text, size_t length, char* field, size_t capacity) {
    const size_t kept = length < capacity ? length : capacity;
    std::memcpy(field, text, kept);
    field[kept] = '\0';
}

// A date and time between two quotes; the text is copied first, so a long one
// cannot run past the parser. A text that is no date leaves the null time.
void ParseQuotedTime(const char* text, size_t length, DateTime& out) {
    char copy[64];
    CopyField(text, length, copy, sizeof copy - 1);
    DateTime::Parse(out, copy);
}

// The position of the next space from text on, or null; at least one
// character must come before it.
const char* SpaceAfterOneCharacter(const char* text) {
    const char* space = std::strchr(text, ' ');
    return space != nullptr && space != text ? space : nullptr;
}

// The text between the quote at text and the next quote: start and length.
// Null when text is no quote, there is no closing quote or nothing between.
const char* QuotedText(const char* text, size_t& length) {
    if (*text != '"') return nullptr;
    const char* close = std::strchr(text + 1, '"');
    if (close == nullptr || close == text + 1) return nullptr;
    length = static_cast<size_t>(close - (text + 1));
    return text + 1;
}

struct UserAreaTag {
    const char* name;
    char* field;
    size_t capacity;
};

// The text between <name> and </name>; false when either is missing or the
// closing tag comes first.
bool FindElement(const char* text, const char* name, const char*& content, size_t& length) {
    char open[16];
    char close[17];
    const size_t nameLength = std::strlen(name);
    open[0] = '<';
    std::memcpy(open + 1, name, nameLength);
    open[nameLength + 1] = '>';
    open[nameLength + 2] = '\0';
    close[0] = '<';
    close[1] = '/';
    std::memcpy(close + 2, name, nameLength);
    close[nameLength + 2] = '>';
    close[nameLength + 3] = '\0';

    const char* start = std::strstr(text, open);
    const char* end = std::strstr(text, close);
    if (start == nullptr || end == nullptr) return false;
    content = start + nameLength + 2;
    if (end < content) return false;
    length = static_cast<size_t>(end - content);
    return true;
}

}  // namespace

bool ParseZK220StudyInfo(const char* text, ZK220StudyInfo& info) {
    info = ZK220StudyInfo{};
    if (text == nullptr) return false;

    // 1. The type runs to the first space, which may not come first.
    const char* space = SpaceAfterOneCharacter(text);
    if (space == nullptr) return false;
    CopyField(text, static_cast<size_t>(space - text), info.type, ZK220StudyInfo::kTypeCapacity);

    // 2. The state code, then a space after at least one character.
    const char* at = space + 1;
    info.stateCode = ParseLong(at);
    space = SpaceAfterOneCharacter(at);
    if (space == nullptr) return false;

    // 3. The quoted begin.
    at = space + 1;
    size_t length = 0;
    const char* quoted = QuotedText(at, length);
    if (quoted == nullptr) return false;
    ParseQuotedTime(quoted, length, info.begin);
    info.beginText = std::string_view(quoted, length);

    // 4. A space and the quoted end.
    at = quoted + length + 1;
    if (at[0] != ' ') return false;
    quoted = QuotedText(at + 1, length);
    if (quoted == nullptr) return false;
    ParseQuotedTime(quoted, length, info.end);
    info.endText = std::string_view(quoted, length);

    // 5. A space, the period in seconds, a space after at least one character.
    at = quoted + length + 1;
    if (at[0] != ' ') return false;
    ++at;
    info.periodMinutes = ParseLong(at) / 60;
    space = SpaceAfterOneCharacter(at);
    if (space == nullptr) return false;

    // 6. The record count, a space after at least one character, and the
    // record size, which must not be missing.
    at = space + 1;
    info.recordCount = ParseLong(at);
    space = SpaceAfterOneCharacter(at);
    if (space == nullptr || space[1] == '\0') return false;
    info.recordSize = ParseLong(space + 1);
    return true;
}

bool ParseZK220UserArea(const char* text, ZK220UserArea& area) {
    area = ZK220UserArea{};
    if (text == nullptr) return false;
    const UserAreaTag tags[] = {
        {"V", area.version, ZK220UserArea::kShortCapacity},
        {"SB", area.speedBins, ZK220UserArea::kLongCapacity},
        {"LB", area.lengthBins, ZK220UserArea::kLongCapacity},
        {"ST", area.state, ZK220UserArea::kShortCapacity},
        {"CT", area.city, ZK220UserArea::kShortCapacity},
        {"CNT", area.county, ZK220UserArea::kShortCapacity},
        {"ADDR", area.address, ZK220UserArea::kLongCapacity},
        {"LN", area.lane, ZK220UserArea::kShortCapacity},
        {"SPL", nullptr, 0},
        {"OP", area.operatorInitials, ZK220UserArea::kShortCapacity},
    };
    for (const UserAreaTag& tag : tags) {
        const char* content = nullptr;
        size_t length = 0;
        if (!FindElement(text, tag.name, content, length)) return false;
        if (tag.field != nullptr) {
            CopyField(content, length, tag.field, tag.capacity);
        } else {
            char number[32];
            CopyField(content, length, number, sizeof number - 1);
            const int32_t limit = ParseLong(number);
            area.speedLimit = limit > 0 ? static_cast<uint32_t>(limit) : 0;
        }
    }
    return true;
}

// ---------------------------------------------------------------- raw layouts

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

namespace {

// Only the low byte counts; forward wins over reverse.
constexpr FlagName kFlagNames[] = {
    {kZK220Forward, "FORWARD"},
    {kZK220Reverse, "REVERSE", true},
    {kZK220Unclassified, "UNCLASSIFIED"},
};

// The five identity answers, stored as they are.
constexpr KeyedProperty kTextAnswers[] = {
    {"GETSERIALNUMBER", PROPERTY_DEV_SERIALNO},
    {"GETDEVICETYPE", PROPERTY_DEV_UNITTYPE},
    {"GETFIRMWAREVERSION", PROPERTY_DEV_FIRMWAREREV},
    {"GETBATTERYVOLTAGE", PROPERTY_DEV_BATTERYVOLTAGE},
    {"GETBATTERYPERCENT", PROPERTY_DEV_BATTERYPERCENT},
};

// The study period in seconds as the properties hold it.
int64_t PeriodSeconds(const PropertyStore& properties) {
    return int64_t{properties.Number(PROPERTY_STUDY_PERIODTIME)} * 60;
}

}  // namespace

ZK220Values::ZK220Values(ValuesContext context) : CounterValues(context, kFlagNames) { Clear(); }

// ---------------------------------------------------------------- answers

int32_t ZK220Values::ParseAnswer(const char* command, const char* answer) {
    if (command == nullptr || answer == nullptr) return RETCODE_OK;
    for (const KeyedProperty& entry : kTextAnswers) {
        if (std::strcmp(command, entry.key) == 0) {
            Properties().Set(entry.property, answer, false);
            return RETCODE_OK;
        }
    }
    if (std::strcmp(command, "GETSTUDYINFO") == 0) return StoreStudyInfo(answer);
    if (std::strcmp(command, "GETUSERAREA") == 0) return StoreUserArea(answer);
    return RETCODE_OK;
}

int32_t ZK220Values::StoreStudyInfo(const char* answer) {
    ZK220StudyInfo info;
    if (!ParseZK220StudyInfo(answer, info)) {
        if (Log() != nullptr) Log()->LogError("Failed to parse study information response");
        return RETCODE_ERR_BADRESPONSE;
    }
    // A begin or end that is no calendar time (unreadable, or month 13, hour
    // 99) becomes the null time: the vehicles are still delivered, stamped
    // with the null time when the begin is the one, and the range is 0.
    int64_t ticks = 0;
    const bool beginIsTime = info.begin.ToTicks(ticks);
    const bool endIsTime = info.end.ToTicks(ticks);
    if (!beginIsTime || !endIsTime) {
        if (info.recordCount > 0 && Log() != nullptr) {
            Log()->LogWarning("Study begin or end time is not a valid date, taken as the null time: begin \"%.*s\", "
                              "end \"%.*s\"",
                              static_cast<int>(std::min<size_t>(info.beginText.size(), 64)), info.beginText.data(),
                              static_cast<int>(std::min<size_t>(info.endText.size(), 64)), info.endText.data());
        }
        if (!beginIsTime) info.begin = DateTime();
        if (!endIsTime) info.end = DateTime();
    }
    PropertyStore& properties = Properties();
    char time[DateTime::kFormatBufferSize];
    properties.Set(PROPERTY_STUDY_TYPE, info.type, false);
    StoreNumber(PROPERTY_STUDY_FCODE, info.stateCode);
    info.begin.Format(DTF_DATE | DTF_TIME, time);
    properties.Set(PROPERTY_STUDY_BEGINDATETIME, time, false);
    info.end.Format(DTF_DATE | DTF_TIME, time);
    properties.Set(PROPERTY_STUDY_ENDDATETIME, time, false);
    StoreNumber(PROPERTY_STUDY_RANGETIME, DateTime::DiffSeconds(info.end, info.begin) / 60);
    StoreNumber(PROPERTY_STUDY_PERIODTIME, info.periodMinutes);
    StoreNumber(PROPERTY_STUDY_NUMRECORDS, info.recordCount);
    StoreNumber(PROPERTY_STUDY_BINRECORDSIZE, info.recordSize);
    study_ = StudyFacts{info.stateCode, info.begin, info.end, info.periodMinutes, info.recordCount, info.recordSize};
    return RETCODE_OK;
}

int32_t ZK220Values::StoreUserArea(const char* answer) {
    // The parsed fields are several kilobytes: keep them off the stack.
    auto area = std::make_unique<ZK220UserArea>();
    if (!ParseZK220UserArea(answer, *area)) {
        if (Log() != nullptr) Log()->LogError("Failed to parse study user area information");
        return RETCODE_ERR_BADRESPONSE;
    }
    PropertyStore& properties = Properties();
    properties.Set(PROPERTY_STUDY_SPEEDBINS, area->speedBins, false);
    properties.Set(PROPERTY_STUDY_LENGTHBINS, area->lengthBins, false);
    properties.Set(PROPERTY_STUDY_STATE, area->state, false);
    properties.Set(PROPERTY_STUDY_CITY, area->city, false);
    properties.Set(PROPERTY_STUDY_COUNTY, area->county, false);
    properties.Set(PROPERTY_STUDY_ADDRESS, area->address, false);
    properties.Set(PROPERTY_STUDY_LANE, area->lane, false);
    StoreNumber(PROPERTY_STUDY_SPEEDLIMIT, area->speedLimit);
    properties.Set(PROPERTY_STUDY_OPERATOR, area->operatorInitials, false);
    return RETCODE_OK;
}

// ---------------------------------------------------------------- records

int32_t ZK220Values::DecodeSequential(const uint8_t* data, uint32_t size) {
    const uint32_t count = data != nullptr ? size / kZK220RecordSize : 0;
    if (!AllocateSequential(count)) {
        if (Log() != nullptr) {
            Log()->LogError("Failed to allocate memory for %lu sequential records", static_cast<unsigned long>(count));
        }
        return kOutOfMemory;
    }
    const DateTime begin = Properties().Time(PROPERTY_STUDY_BEGINDATETIME);
    // Each time stamp is the begin moved by the record's offset. From a begin
    // that converts to ticks that is one tick addition; from one that does not,
    // moving it fails and the time stamp stays the begin.
    int64_t beginTicks = 0;
    const bool beginConverts = begin.ToTicks(beginTicks);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* raw = data + static_cast<size_t>(i) * kZK220RecordSize;
        SequentialRecord& record = records_[i];
        record.time = begin;
        if (beginConverts) {
            DateTime::FromTicks(beginTicks + int64_t{ZK220TimeOffset(raw)} * DateTime::kTicksPerSecond, record.time);
        }
        record.flags = raw[0] & kZK220FlagMask;
        record.speed = ZK220RoundedMeasure(raw[4], raw[5]);
        record.length = ZK220RoundedMeasure(raw[6], raw[7]);
        record.recordNumber = i + 1;
    }
    return RETCODE_OK;
}

// ---------------------------------------------------------------- periods

uint32_t ZK220Values::PeriodicCount() {
    const PropertyStore& properties = Properties();
    const DateTime begin = properties.Time(PROPERTY_STUDY_BEGINDATETIME);
    const DateTime end = properties.Time(PROPERTY_STUDY_ENDDATETIME);
    const int64_t period = PeriodSeconds(properties);
    if (period == 0) {
        if (Log() != nullptr) Log()->LogWarning("GetNumPeriodicRecords: PeriodTimeSEC is 0!");
        return 0;
    }
    // A negative period or a study that ends before it begins has no period
    // at all (rounding a negative quotient up would make one, or billions).
    const int64_t range = DateTime::DiffSeconds(end, begin);
    if (period < 0 || range <= 0) return 0;
    return static_cast<uint32_t>(range / period + (range % period != 0 ? 1 : 0));
}

void ZK220Values::BuildPeriodicRow(uint32_t index, PeriodicRow& row) {
    const PropertyStore& properties = Properties();
    const int32_t minutes = properties.Number(PROPERTY_STUDY_PERIODTIME);
    const int64_t startOffset = int64_t{index} * minutes;
    DateTime start = properties.Time(PROPERTY_STUDY_BEGINDATETIME);
    start.AddTime(0, 0, static_cast<int32_t>(startOffset), 0, 0);
    DateTime end = start;
    end.AddTime(0, 0, minutes, 0, 0);

    double occupiedSeconds = 0.0;
    const PeriodCount counted = CountPeriod(start, end, kZK220Reverse, [&](const SequentialRecord& vehicle) {
        occupiedSeconds += vehicle.length / (vehicle.speed * kFeetPerSecondPerMph);
    });
    const double percent = minutes > 0 ? occupiedSeconds / (minutes * 60.0) * 100.0 : 0.0;
    const double rounded = RoundHalfUp(percent, 0);
    // A period of 24-bit second offsets can end past 65535 minutes: the row keeps its true end.
    row.endOffsetMinutes = static_cast<uint32_t>(startOffset + minutes);
    row.count = counted.count;
    row.reverseCount = counted.reverseCount;
    row.occupancy = rounded >= kMostOccupancy ? kMostOccupancy : static_cast<uint32_t>(rounded);
    row.recordNumber = index + 1;
    row.hasTemperature = false;
}

}  // namespace tallyx

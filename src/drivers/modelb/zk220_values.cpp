#include "drivers/modelb/zk220_values.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "device/device_driver.h"
#include "comm/comm_log.h"
#include "drivers/modelb/zk220_answer_text.h"
#include "properties/property_store.h"
#include "properties/units.h"

namespace tallyx {

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

#include "device/device_values.h"

#include <tallyx/tallyx.h>

#include "properties/bin_list.h"
#include "properties/property_store.h"
#include "time/date_time.h"

namespace tallyx {

namespace {

constexpr uint32_t kLongestPeriodMinutes = 240;
constexpr int32_t kMostPeriods = 4000;

// A study time as the properties hold it. A text that does not parse, or that
// names no real date and time (month 13, hour 25), gives false.
bool StudyTime(const PropertyStore& properties, const char* property, DateTime& time) {
    int64_t ticks = 0;
    return DateTime::Parse(time, properties.Text(property)) && time.ToTicks(ticks);
}

bool HoldsBinNumber(const char* text) {
    bool found = false;
    ForEachBinNumber(text, [&found](uint32_t) { found = true; });
    return found;
}

}  // namespace

void DeviceValues::Clear() {
    ResetWalk();
    metricOutput = 1;
}

void DeviceValues::ResetWalk() {
    position = -1;
    dataKind = kNoData;
    format = kNoFormat;
}

int32_t DeviceValues::ValidateStudy() {
    const PropertyStore& properties = *context.properties;
    DateTime reference = DateTime::Now();
    reference.AddTime(0, 0, 1, 0, 0);

    DateTime begin;
    DateTime end;
    const bool beginIsReal = StudyTime(properties, PROPERTY_STUDY_BEGINDATETIME, begin);
    const bool endIsReal = StudyTime(properties, PROPERTY_STUDY_ENDDATETIME, end);
    if (!beginIsReal || DateTime::Compare(begin, reference) < 0) return RETCODE_ERR_BADSTARTDATETIME;
    if (!endIsReal || DateTime::Compare(end, reference) < 0) return RETCODE_ERR_BADENDDATETIME;
    if (DateTime::Compare(begin, end) >= 0) return RETCODE_ERR_BADRANGE;

    const int32_t studyMinutes = DateTime::DiffSeconds(end, begin) / 60;
    const uint32_t period = static_cast<uint32_t>(properties.Number(PROPERTY_STUDY_PERIODTIME));
    if (period == 0 || period > kLongestPeriodMinutes) return RETCODE_ERR_BADPERIOD;
    const int32_t periodMinutes = static_cast<int32_t>(period);
    if (studyMinutes % periodMinutes != 0) return RETCODE_ERR_PARTIALLASTPERIOD;
    if (studyMinutes / periodMinutes > kMostPeriods) return RETCODE_ERR_RANGETOOBIG;

    if (!HoldsBinNumber(properties.Text(PROPERTY_STUDY_SPEEDBINS))) return RETCODE_ERR_BADSPEEDBINS;
    if (!HoldsBinNumber(properties.Text(PROPERTY_STUDY_LENGTHBINS))) return RETCODE_ERR_BADLENGTHBINS;
    return RETCODE_OK;
}

}  // namespace tallyx

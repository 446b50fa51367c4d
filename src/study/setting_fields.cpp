#include "study/setting_fields.h"

#include <tallyx/tallyx.h>

namespace tallyx::study {

namespace {

using enum SettingKey;
using enum SettingUnit;
constexpr SettingGroup kU = SettingGroup::kUnit;
constexpr SettingGroup kS = SettingGroup::kStudy;

constexpr std::array<SettingField, kSettingCount> kFields = {{
    {kSerialNumber, kU, "serialNumber", nullptr, PROPERTY_DEV_SERIALNO, kNone},
    {kUnitType, kU, "unitType", nullptr, PROPERTY_DEV_UNITTYPE, kNone},
    {kFirmware, kU, "firmware", nullptr, PROPERTY_DEV_FIRMWAREREV, kNone},
    {kBatteryVoltage, kU, "batteryVoltage", nullptr, PROPERTY_DEV_BATTERYVOLTAGE, kVolts},
    {kBatteryPercent, kU, "batteryPercent", nullptr, PROPERTY_DEV_BATTERYPERCENT, kPercent},
    {kChargeRegister, kU, "chargeRegister", nullptr, PROPERTY_DEV_ACR, kNone},
    {kType, kS, "type", nullptr, PROPERTY_STUDY_TYPE, kNone},
    {kFinishCode, kS, "finishCode", "Finish Code", PROPERTY_STUDY_FCODE, kNone},
    {kBegin, kS, "begin", "Start Time", PROPERTY_STUDY_BEGINDATETIME, kLocalTime},
    {kEnd, kS, "end", "End Time", PROPERTY_STUDY_ENDDATETIME, kLocalTime},
    {kRangeMinutes, kS, "rangeMinutes", "Range", PROPERTY_STUDY_RANGETIME, kMinutes},
    {kPeriodMinutes, kS, "periodMinutes", "Period", PROPERTY_STUDY_PERIODTIME, kMinutes},
    {kRecords, kS, "records", nullptr, PROPERTY_STUDY_NUMRECORDS, kNone},
    {kUnits, kS, "units", nullptr, PROPERTY_STUDY_MEASUREMENTUNITS, kNone},
    {kSpeedBins, kS, "speedBins", "Speed Bins", PROPERTY_STUDY_SPEEDBINS, kSpeed},
    {kLengthBins, kS, "lengthBins", "Length Bins", PROPERTY_STUDY_LENGTHBINS, kLength},
    {kSpeedLimit, kS, "speedLimit", "Speed Limit", PROPERTY_STUDY_SPEEDLIMIT, kSpeed},
    {kState, kS, "state", "State", PROPERTY_STUDY_STATE, kNone},
    {kCity, kS, "city", "City", PROPERTY_STUDY_CITY, kNone},
    {kCounty, kS, "county", "County", PROPERTY_STUDY_COUNTY, kNone},
    {kAddress, kS, "address", "Address", PROPERTY_STUDY_ADDRESS, kNone},
    {kLane, kS, "lane", "Lane", PROPERTY_STUDY_LANE, kNone},
    {kOperator, kS, "operator", "Operator", PROPERTY_STUDY_OPERATOR, kNone},
}};

// The table is indexed by its keys.
constexpr bool InKeyOrder() {
    for (size_t i = 0; i < kFields.size(); ++i) {
        if (static_cast<size_t>(kFields[i].key) != i) return false;
    }
    return true;
}
static_assert(InKeyOrder(), "every setting field sits at the index of its key");

constexpr std::array<SettingKey, 14> kStudyTextOrder = {
    kState, kCity, kCounty, kAddress, kLane, kSpeedLimit, kOperator,
    kBegin, kEnd,  kRangeMinutes, kPeriodMinutes, kSpeedBins, kLengthBins, kFinishCode,
};

constexpr bool EveryLabelledFieldHasALine() {
    size_t labelled = 0;
    for (const SettingField& field : kFields) labelled += field.label != nullptr ? 1 : 0;
    for (SettingKey key : kStudyTextOrder) {
        if (kFields[static_cast<size_t>(key)].label == nullptr) return false;
    }
    return labelled == kStudyTextOrder.size();
}
static_assert(EveryLabelledFieldHasALine(), "study.txt writes exactly the labelled fields");

}  // namespace

const std::array<SettingField, kSettingCount>& SettingFields() { return kFields; }

const SettingField& FieldOf(SettingKey key) { return kFields[static_cast<size_t>(key)]; }

const std::array<SettingKey, 14>& StudyTextOrder() { return kStudyTextOrder; }

const char* UnitText(SettingUnit unit, bool metric) {
    switch (unit) {
        case kSpeed: return metric ? "km/h" : "mph";
        case kLength: return metric ? "dm" : "ft";
        case kMinutes: return "min";
        case kVolts: return "V";
        case kPercent: return "%";
        case kLocalTime: return "local time of the counter";
        case kNone: break;
    }
    return "";
}

}  // namespace tallyx::study

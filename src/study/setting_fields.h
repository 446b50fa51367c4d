#pragma once
// The settings of a read, one row per field: the key it has in settings.json
// (tallyx read), the label of its line in study.txt (tallyread), the library
// property it comes from, and its unit. Every writer and every loader of a
// read folder goes through this table.
#include <array>
#include <cstddef>
#include <string_view>

namespace tallyx::study {

enum class SettingKey {
    kSerialNumber,
    kUnitType,
    kFirmware,
    kBatteryVoltage,
    kBatteryPercent,
    kChargeRegister,
    kType,
    kFinishCode,
    kBegin,
    kEnd,
    kRangeMinutes,
    kPeriodMinutes,
    kRecords,
    kUnits,
    kSpeedBins,
    kLengthBins,
    kSpeedLimit,
    kState,
    kCity,
    kCounty,
    kAddress,
    kLane,
    kOperator,
};
inline constexpr size_t kSettingCount = 23;

// Which object of settings.json holds the field.
enum class SettingGroup { kUnit, kStudy };

// What a field's number means; speeds and lengths follow the read's units.
enum class SettingUnit { kNone, kSpeed, kLength, kMinutes, kVolts, kPercent, kLocalTime };

struct SettingField {
    SettingKey key;
    SettingGroup group;
    const char* name;      // key in settings.json: "speedLimit"
    const char* label;     // line label in study.txt: "Speed Limit"; null when tallyread writes none
    const char* property;  // the library property: PROPERTY_STUDY_SPEEDLIMIT
    SettingUnit unit;
};

// Every field, in the order settings.json writes them (unit, then study).
const std::array<SettingField, kSettingCount>& SettingFields();
const SettingField& FieldOf(SettingKey key);
// The fields in the order of tallyread's study.txt lines.
const std::array<SettingKey, 14>& StudyTextOrder();

// The unit's text for a read in US or metric units ("mph", "km/h", "ft", "dm", "min", ...).
const char* UnitText(SettingUnit unit, bool metric);

// The columns of the vehicle and period records: the CSV header names, which
// are also the element names of the XML form.
inline constexpr std::string_view kVehicleColumns[] = {"TimeStamp", "Flag", "Flag Description", "Speed", "Length"};
inline constexpr std::string_view kPeriodColumns[] = {"TimeStamp", "Temperature", "Occupancy", "Count",
                                                     "ReverseCount"};
inline constexpr std::string_view kVehicleHeader = "TimeStamp,Flag,Flag Description,Speed,Length";
inline constexpr std::string_view kPeriodHeader = "TimeStamp,Temperature,Occupancy,Count,ReverseCount";
// Element names of the XML form: the root, one record, the bin matrix.
inline constexpr std::string_view kVehicleRoot = "SequentialRecords";
inline constexpr std::string_view kVehicleElement = "Sequential";
inline constexpr std::string_view kPeriodRoot = "PeriodicRecords";
inline constexpr std::string_view kPeriodElement = "Periodic";
inline constexpr std::string_view kBinElement = "Bin";

// The files of a read folder.
inline constexpr std::string_view kSettingsFile = "settings.json";
inline constexpr std::string_view kStudyConfFile = "study.conf";
inline constexpr std::string_view kStudyTextFile = "study.txt";
inline constexpr std::string_view kKvdFile = "kvd.dat";

}  // namespace tallyx::study

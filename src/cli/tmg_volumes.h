#pragma once
// The hourly volumes of a study, counted from the vehicles of a read folder
// (written by tallyx read, as CSV or XML, or by tallyread): per direction, per clock hour of
// every day the study covers, with the hours that do not lie wholly inside
// the study marked as having no data.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tallyx::cli {

struct CivilTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The whole content of a file, as bytes; false when it cannot be read.
bool ReadFileText(const std::string& path, std::string& text);

enum class TimeStampKind { kValid, kNull, kInvalid };

// "2026-12-10 14:05:09.042" (the milliseconds may be left out). The null
// time, every field 0, is what a record that could not be placed carries.
TimeStampKind ParseTimeStamp(std::string_view text, CivilTime& out);

class StudyVolumes {
public:
    // Hours with the study's begin and end as given ("2026-12-10 10:30:00.000");
    // false with a sentence in error when they are not a usable study.
    bool SetStudy(const std::string& begin, const std::string& end, std::string& error);

    // One line of sequential.csv. False with a sentence in error when the
    // line is not a vehicle; a vehicle without a time is counted, not placed.
    bool AddVehicleLine(std::string_view line, std::string& error);
    // The same for one Sequential element of sequential.xml.
    bool AddVehicleElement(std::string_view line, std::string& error);

    // The days that hold at least one whole hour of the study.
    int64_t FirstDay() const { return firstDay_; }  // days since 1970-01-01
    int64_t Days() const { return days_; }
    // The 24 volumes of one day and direction (reverse or forward), hour 1
    // first; -1 for an hour that is not wholly inside the study.
    void DayVolumes(int64_t day, bool reverse, int32_t* out) const;

    uint64_t Vehicles(bool reverse) const { return vehicles_[reverse ? 1 : 0]; }
    // Vehicles in an hour that the study only partly covers, or outside it.
    uint64_t Unplaced() const { return unplaced_; }
    uint64_t WithoutTime() const { return withoutTime_; }

private:
    bool AddVehicle(std::string_view timeStamp, std::string_view description, std::string& error);

    int64_t firstHour_ = 0;  // first whole hour of the study, hours since 1970-01-01 00:00
    int64_t lastHour_ = -1;  // last whole hour
    int64_t firstDay_ = 0;
    int64_t days_ = 0;
    std::vector<uint32_t> counts_[2];  // forward, reverse: days_ x 24 from firstDay_
    uint64_t vehicles_[2] = {0, 0};
    uint64_t unplaced_ = 0;
    uint64_t withoutTime_ = 0;
};

// Reads the study and its vehicles from a read folder. False with one line in
// error (the folder or file named) when the folder cannot be converted.
bool LoadStudyVolumes(const std::string& folder, StudyVolumes& volumes, std::string& error);

}  // namespace tallyx::cli

#pragma once
// The hourly volumes of a study, counted from its vehicles: per direction, per
// clock hour of every day the study covers, with the hours that do not lie
// wholly inside the study marked as having no data.
#include <cstdint>
#include <string>
#include <vector>

#include "study/study.h"

namespace tallyx::cli {

class StudyVolumes {
public:
    // Hours with the study's begin and end as given ("2026-12-10 10:30:00.000");
    // false with a sentence in error when they are not a usable study.
    bool SetStudy(const std::string& begin, const std::string& end, std::string& error);

    // One vehicle; a vehicle without a time is counted, not placed.
    void AddVehicle(int64_t time, bool reverse);

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
    int64_t firstHour_ = 0;  // first whole hour of the study, hours since 1970-01-01 00:00
    int64_t lastHour_ = -1;  // last whole hour
    int64_t firstDay_ = 0;
    int64_t days_ = 0;
    std::vector<uint32_t> counts_[2];  // forward, reverse: days_ x 24 from firstDay_
    uint64_t vehicles_[2] = {0, 0};
    uint64_t unplaced_ = 0;
    uint64_t withoutTime_ = 0;
};

// Counts the volumes of a loaded study; `where` names it in messages (a folder,
// an archive entry). False with one line in error when it cannot be converted.
bool CountStudyVolumes(const study::Study& study, const std::string& where, StudyVolumes& volumes,
                       std::string& error);

// Loads a read folder and counts its volumes, as above.
bool LoadStudyVolumes(const std::string& folder, StudyVolumes& volumes, std::string& error);

}  // namespace tallyx::cli

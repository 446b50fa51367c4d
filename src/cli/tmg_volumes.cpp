#include "cli/tmg_volumes.h"

#include <algorithm>
#include <tuple>

#include "cli/tmg_record.h"
#include "platform/files.h"
#include "study/civil_time.h"
#include "study/folder_loader.h"
#include "study/record_reader.h"

namespace tallyx::cli {

namespace {

// No counter records for years; a longer span means the study times are wrong,
// and would only fill memory and the output with empty days.
constexpr int64_t kMaxStudyDays = 3660;
constexpr int64_t kMillisecondsPerHour = 3600000;

using study::FloorDiv;

}  // namespace

bool StudyVolumes::SetStudy(const std::string& beginText, const std::string& endText, std::string& error) {
    study::CivilTime begin, end;
    for (const auto& [text, time, name] : {std::tuple{&beginText, &begin, "begin"}, std::tuple{&endText, &end, "end"}}) {
        if (study::ParseTimeStamp(*text, *time) != study::TimeStampKind::kValid) {
            error = std::string("the study's ") + name + " '" + study::Printable(*text) + "' is not a date and time";
            return false;
        }
    }
    // An hour has data only when the study covers all of it.
    const int64_t beginMs = study::ToMilliseconds(begin), endMs = study::ToMilliseconds(end);
    firstHour_ = FloorDiv(beginMs + kMillisecondsPerHour - 1, kMillisecondsPerHour);
    lastHour_ = FloorDiv(endMs, kMillisecondsPerHour) - 1;
    if (lastHour_ < firstHour_) {
        error = "the study from " + beginText + " to " + endText + " holds no whole clock hour";
        return false;
    }
    firstDay_ = FloorDiv(firstHour_, 24);
    days_ = FloorDiv(lastHour_, 24) - firstDay_ + 1;
    if (days_ > kMaxStudyDays) {
        error = "the study from " + beginText + " to " + endText + " runs " + std::to_string(days_) +
                " days, longer than ten years: its times are not plausible";
        return false;
    }
    for (auto& counts : counts_) counts.assign(static_cast<size_t>(days_) * 24, 0);
    return true;
}

void StudyVolumes::AddVehicle(int64_t time, bool reverse) {
    ++vehicles_[reverse ? 1 : 0];
    if (time == study::kNoTime) {
        ++withoutTime_;
        return;
    }
    const int64_t hour = FloorDiv(time, kMillisecondsPerHour);
    if (hour < firstHour_ || hour > lastHour_) {
        ++unplaced_;
        return;
    }
    ++counts_[reverse ? 1 : 0][static_cast<size_t>(hour - firstDay_ * 24)];
}

void StudyVolumes::DayVolumes(int64_t day, bool reverse, int32_t* out) const {
    const std::vector<uint32_t>& counts = counts_[reverse ? 1 : 0];
    for (int64_t h = 0; h < 24; ++h) {
        const int64_t hour = (firstDay_ + day) * 24 + h;
        out[h] = hour < firstHour_ || hour > lastHour_ ? kNoVolume
                                                        : static_cast<int32_t>(std::min<uint32_t>(
                                                              counts[static_cast<size_t>(day * 24 + h)], INT32_MAX));
    }
}

bool CountStudyVolumes(const study::Study& s, const std::string& where, StudyVolumes& volumes, std::string& error) {
    const std::string& begin = s.Setting(study::SettingKey::kBegin);
    const std::string& end = s.Setting(study::SettingKey::kEnd);
    if (begin.empty() || end.empty()) {
        error = s.form == study::FolderForm::kTallyread
                    ? JoinPath(where, "study.txt") + " has no Start Time and End Time lines: it was not written by tallyread"
                    : JoinPath(where, "settings.json") + " names no study begin and end: it was not written by tallyx read";
        return false;
    }
    if (!volumes.SetStudy(begin, end, error)) {
        error = where + ": " + error;
        return false;
    }
    for (const study::Vehicle& vehicle : s.vehicles) volumes.AddVehicle(vehicle.time, s.IsReverse(vehicle));
    if (volumes.WithoutTime() != 0) {
        error = JoinPath(where, s.form == study::FolderForm::kXml ? "sequential.xml" : "sequential.csv") + ": " +
                std::to_string(volumes.WithoutTime()) + " of " +
                std::to_string(volumes.Vehicles(false) + volumes.Vehicles(true)) +
                " vehicles have no time stamp (0-00-00 00:00:00.000), so their hours cannot be known; refusing to "
                "write volumes that would be short";
        return false;
    }
    return true;
}

bool LoadStudyVolumes(const std::string& folder, StudyVolumes& volumes, std::string& error) {
    study::Study s;
    if (!study::LoadFolder(folder, s, error)) return false;
    return CountStudyVolumes(s, folder, volumes, error);
}

}  // namespace tallyx::cli

// The figures' rules where the simulated traffic of the end-to-end tests rarely goes: rounding as
// the report has always rounded (the decimal nearest the binary value, ties to even), the lowest
// pace band on a tie, vehicles without a time stamp, vehicles out of time order, a study that
// begins in the middle of an hour and a study without settings.
#include <gtest/gtest.h>

#include <string>

#include "report/study_figures.h"

namespace tallyx::report {
namespace {

using study::SettingKey;

// A study with vehicles given as (minutes after 06:00, reverse, speed); no time when minutes < 0.
study::Study Vehicles(std::initializer_list<std::tuple<int, bool, int>> vehicles, const char* begin = "2026-11-02 06:10:00.000",
                      const char* end = "2026-11-02 09:00:00.000") {
    study::Study s;
    s.SetSetting(SettingKey::kBegin, begin);
    s.SetSetting(SettingKey::kEnd, end);
    const uint16_t forward = *s.DescriptionIndex("FORWARD"), reverse = *s.DescriptionIndex("REVERSE");
    const int64_t six = study::ToMilliseconds({2026, 11, 2, 6, 0, 0, 0});
    for (const auto& [minutes, isReverse, speed] : vehicles) {
        study::Vehicle v;
        v.time = minutes < 0 ? study::kNoTime : six + int64_t{minutes} * 60000;
        v.description = isReverse ? reverse : forward;
        v.speed = static_cast<uint16_t>(speed);
        v.length = 15;
        s.vehicles.push_back(v);
    }
    return s;
}

TEST(StudyFigures, RoundingIsTheReportsOwn) {
    EXPECT_EQ(RoundTo(0.625, 2), 0.62);   // an exact tie goes to the even digit
    EXPECT_EQ(RoundTo(0.375, 2), 0.38);
    EXPECT_EQ(RoundTo(2.675, 2), 2.67);   // 2.675 is a little below that in binary
    EXPECT_EQ(RoundTo(46.15, 1), 46.1);
    EXPECT_EQ(RoundTo(100.0 * 2 / 3, 1), 66.7);
}

TEST(StudyFigures, PaceTiesTimelessAndUnorderedVehicles) {
    // Two equal bands (20-29 and 40-49 hold two each): the lower one is the pace.
    const study::Study s = Vehicles({{20, false, 20}, {22, false, 25}, {50, false, 40}, {21, false, 45},
                                     {-1, true, 33}, {49, true, 60}, {51, true, 61}});
    const StudyFigures f = ComputeFigures(s);
    EXPECT_EQ(f.speed.studies[kForward].paceFrom, 20u);
    EXPECT_EQ(f.speed.studies[kForward].inPace, 2u);
    // The vehicle without a time has a speed but no hour and no headway.
    EXPECT_EQ(f.withoutTime, 1u);
    EXPECT_EQ(f.speed.studies[kReverse].withSpeed, 3u);
    EXPECT_EQ(f.volume.totals[kReverse], 2u);
    uint64_t reverseHeadways = 0;
    for (const uint64_t n : f.headways.counts[kReverse]) reverseHeadways += n;
    EXPECT_EQ(reverseHeadways, 1u);
    // Forward times out of order (20, 22, 50, 21) are sorted first: gaps of 1, 1 and 28 minutes.
    EXPECT_EQ(f.headways.counts[kForward][5], 3u);
}

TEST(StudyFigures, PeaksLieInsideTheStudyAndTheDay) {
    // The study begins at 06:10: the first clock hour is 07:00, the first busiest 60 minutes 06:15.
    const study::Study s = Vehicles({{12, false, 30}, {14, false, 30}, {16, false, 30}, {17, false, 30}, {70, false, 30}});
    const VolumeFigures v = ComputeVolumeFigures(s);
    ASSERT_EQ(v.peaks.size(), 1u);
    const auto& am = v.peaks[0].peaks[kMorning];
    ASSERT_TRUE(am[0] && am[1]);
    EXPECT_EQ(study::FormatMinute(am[0]->start * 1000), "2026-11-02 07:00");
    EXPECT_EQ(am[0]->volume, 1u);
    EXPECT_EQ(study::FormatMinute(am[1]->start * 1000), "2026-11-02 06:15");
    EXPECT_EQ(am[1]->volume, 3u);  // 06:16, 06:17 and 07:10
    EXPECT_EQ(am[1]->busiestQuarter, 2u);
    EXPECT_FALSE(v.peaks[0].peaks[kAfternoon][0]);  // the study ends at 09:00
    EXPECT_EQ(v.wholeDays, 0u);
}

TEST(StudyFigures, WithoutSettingsTheVehiclesHoursBoundTheStudy) {
    study::Study s = Vehicles({{90, false, 30}, {200, true, 31}}, "", "");
    const VolumeFigures v = ComputeVolumeFigures(s);
    ASSERT_TRUE(v.begin && v.end);
    EXPECT_EQ(study::FormatMinute(*v.begin * 1000), "2026-11-02 07:00");
    EXPECT_EQ(study::FormatMinute(*v.end * 1000), "2026-11-02 10:00");
    EXPECT_EQ(v.hours.size(), 3u);
    EXPECT_EQ(ClassLabels({}, "ft"), std::vector<std::string>{"all"});
    EXPECT_EQ(ClassLabels({20, 40}, "ft"), (std::vector<std::string>{"< 20 ft", "20-39 ft", ">= 40 ft"}));
}

}  // namespace
}  // namespace tallyx::report

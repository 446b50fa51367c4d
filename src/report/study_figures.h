#pragma once
// Every figure of the study report, worked out from a study alone: pure
// functions, no files. Counts are exact; shares, means and factors are left
// unrounded here and rounded where they are shown.
//
// Time stamps count in whole seconds (the milliseconds are dropped), in the
// counter's local clock. Percentiles use the nearest-rank method throughout:
// the p-th percentile is the speed at rank ceil(p x n / 100) of the n speeds
// sorted from the lowest, so it is always a speed some vehicle had.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "study/study.h"

namespace tallyx::report {

enum Direction { kForward = 0, kReverse = 1, kBoth = 2 };
inline constexpr const char* kDirectionNames[3] = {"forward", "reverse", "both"};

// Speed study of one direction (or both): vehicles with a speed only.
struct SpeedStudy {
    uint64_t withSpeed = 0;
    uint64_t speedSum = 0;
    uint32_t p15 = 0, median = 0, p85 = 0, highest = 0;
    uint32_t paceFrom = 0;  // the band [paceFrom, paceFrom + 9] holding the most vehicles, the lowest on a tie
    uint64_t inPace = 0;
    std::array<uint64_t, 4> over{};  // faster than the limit, limit + 5, + 10, + 15

    double Mean() const { return withSpeed == 0 ? 0.0 : static_cast<double>(speedSum) / static_cast<double>(withSpeed); }
};
inline constexpr int kOverLimitSteps[4] = {0, 5, 10, 15};

struct SpeedFigures {
    std::optional<int64_t> limit;  // posted limit, in the study's speed unit
    std::array<SpeedStudy, 3> studies;
    // Vehicles per whole speed from histogramFirst on, forward and reverse.
    uint32_t histogramFirst = 0;
    std::array<std::vector<uint64_t>, 2> histogram;
};

// A window of one hour starting at `start` (seconds), both directions.
struct Peak {
    int64_t start = 0;
    uint64_t volume = 0;
    uint64_t busiestQuarter = 0;
};

enum PeakKind { kMorning = 0, kAfternoon = 1, kWholeDay = 2 };
inline constexpr const char* kPeakKindNames[3] = {"am", "pm", "whole_day"};

struct DayPeaks {
    int64_t day = 0;  // seconds of the day's midnight
    // [kind][0: clock hour, 1: busiest 60 minutes]; nothing where no whole hour fits.
    std::array<std::array<std::optional<Peak>, 2>, 3> peaks;
};

struct HourCount {
    int64_t start = 0;  // seconds
    std::array<uint64_t, 2> counts{};
};

struct DayCount {
    int64_t start = 0;
    bool whole = false;  // the study covers the whole calendar day
    std::array<uint64_t, 2> counts{};
};

struct VolumeFigures {
    std::optional<int64_t> begin, end;  // the study's bounds in seconds, when known
    std::array<uint64_t, 2> totals{};   // vehicles with a time stamp, per direction
    std::vector<HourCount> hours;
    std::vector<DayCount> days;
    size_t wholeDays = 0;
    std::array<uint64_t, 2> wholeDayTotals{};
    std::vector<DayPeaks> peaks;
};

// Headway bands in seconds, [low, high), the last open.
inline constexpr int kHeadwayLows[6] = {0, 1, 2, 3, 5, 10};
struct HeadwayFigures {
    std::array<std::array<uint64_t, 6>, 3> counts{};  // per direction, per band
};

struct LengthClassFigures {
    std::vector<int64_t> limits;
    std::vector<std::array<uint64_t, 2>> counts;  // per class of the limits
    std::array<uint64_t, 2> notClassified{};
};

struct PeriodRow {
    int64_t end = study::kNoTime;  // milliseconds
    int64_t forward = 0, reverse = 0;
};

struct PeriodFigures {
    std::optional<int64_t> minutes;
    std::vector<PeriodRow> rows;
    std::vector<int64_t> speedLimits, lengthLimits;
    // (speed limits + 1) x (length limits + 1) vehicle counts over all periods.
    std::vector<std::vector<uint64_t>> table;
};

struct StudyFigures {
    std::array<uint64_t, 2> vehicles{};
    uint64_t withoutTime = 0;  // vehicles the counter could not place in time
    SpeedFigures speed;
    VolumeFigures volume;
    HeadwayFigures headways;
    LengthClassFigures lengths;
    PeriodFigures periods;
};

SpeedFigures ComputeSpeedFigures(const study::Study& study);
VolumeFigures ComputeVolumeFigures(const study::Study& study);
HeadwayFigures ComputeHeadwayFigures(const study::Study& study);
LengthClassFigures ComputeLengthClassFigures(const study::Study& study);
PeriodFigures ComputePeriodFigures(const study::Study& study);
StudyFigures ComputeFigures(const study::Study& study);

// The labels of the classes of a list of bin limits: "< 20 ft", "20-39 ft", ">= 40 ft"; "all" without limits.
std::vector<std::string> ClassLabels(const std::vector<int64_t>& limits, const char* unit);

// A value rounded to `digits` decimals as Python's round() does it: the
// decimal nearest to the exact binary value, ties to even.
double RoundTo(double value, int digits);

}  // namespace tallyx::report

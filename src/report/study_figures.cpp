#include "report/study_figures.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "study/civil_time.h"

namespace tallyx::report {

namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kQuarter = 900;
constexpr int64_t kDay = 86400;
constexpr size_t kSpeeds = 65536;

using study::FloorDiv;
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }
int64_t Seconds(int64_t milliseconds) { return FloorDiv(milliseconds, 1000); }

// The index of the first limit above the value (bisect_right on the list as given).
size_t ClassOf(const std::vector<int64_t>& limits, int64_t value) {
    size_t low = 0, high = limits.size();
    while (low < high) {
        const size_t middle = (low + high) / 2;
        if (value < limits[middle]) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

SpeedStudy StudyOf(const std::vector<uint64_t>& tally, const std::optional<int64_t>& limit) {
    SpeedStudy s;
    uint32_t lowest = 0, highest = 0;
    for (size_t speed = 1; speed < kSpeeds; ++speed) {
        if (tally[speed] == 0) continue;
        if (s.withSpeed == 0) lowest = static_cast<uint32_t>(speed);
        highest = static_cast<uint32_t>(speed);
        s.withSpeed += tally[speed];
        s.speedSum += tally[speed] * speed;
    }
    if (s.withSpeed == 0) return s;
    s.highest = highest;
    const struct {
        int p;
        uint32_t* out;
    } ranks[] = {{15, &s.p15}, {50, &s.median}, {85, &s.p85}};
    for (const auto& r : ranks) {
        const uint64_t rank = std::max<uint64_t>((s.withSpeed * static_cast<uint64_t>(r.p) + 99) / 100, 1);
        uint64_t seen = 0;
        for (uint32_t speed = lowest; speed <= highest; ++speed) {
            seen += tally[speed];
            if (seen >= rank) {
                *r.out = speed;
                break;
            }
        }
    }
    // Sliding band of ten whole speeds; strictly more wins, so the lowest band keeps a tie.
    uint64_t band = 0;
    for (uint32_t speed = lowest; speed < lowest + 10 && speed < kSpeeds; ++speed) band += tally[speed];
    s.paceFrom = lowest;
    s.inPace = band;
    for (uint32_t low = lowest + 1; low <= highest; ++low) {
        band -= tally[low - 1];
        if (low + 9 < kSpeeds) band += tally[low + 9];
        if (band > s.inPace) {
            s.inPace = band;
            s.paceFrom = low;
        }
    }
    if (limit) {
        for (size_t i = 0; i < 4; ++i) {
            const int64_t above = *limit + kOverLimitSteps[i];
            for (uint32_t speed = lowest; speed <= highest; ++speed) {
                if (speed > above) s.over[i] += tally[speed];
            }
        }
    }
    return s;
}

std::optional<Peak> BusiestWindow(int64_t from, int64_t endBy, int64_t step, const std::map<int64_t, uint64_t>& quarters) {
    auto count = [&quarters](int64_t start) {
        const auto found = quarters.find(start);
        return found == quarters.end() ? uint64_t{0} : found->second;
    };
    std::optional<Peak> best;
    for (int64_t start = CeilDiv(from, step) * step; start <= endBy - kHour; start += step) {
        uint64_t volume = 0;
        for (int k = 0; k < 4; ++k) volume += count(start + k * kQuarter);
        if (!best || volume > best->volume) best = Peak{start, volume, 0};
    }
    if (best) {
        for (int k = 0; k < 4; ++k) best->busiestQuarter = std::max(best->busiestQuarter, count(best->start + k * kQuarter));
    }
    return best;
}

}  // namespace

double RoundTo(double value, int digits) {
    char text[400];
    const auto [end, failure] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits);
    if (failure != std::errc()) return value;
    double rounded = value;
    std::from_chars(text, end, rounded);
    return rounded;
}

std::vector<std::string> ClassLabels(const std::vector<int64_t>& limits, const char* unit) {
    if (limits.empty()) return {"all"};
    std::vector<std::string> labels;
    labels.push_back("< " + std::to_string(limits.front()));
    for (size_t i = 1; i < limits.size(); ++i)
        labels.push_back(std::to_string(limits[i - 1]) + "-" + std::to_string(limits[i] - 1));
    labels.push_back(">= " + std::to_string(limits.back()));
    for (std::string& label : labels) label += std::string(" ") + unit;
    return labels;
}

SpeedFigures ComputeSpeedFigures(const study::Study& study) {
    std::array<std::vector<uint64_t>, 3> tallies;
    for (auto& tally : tallies) tally.assign(kSpeeds, 0);
    for (const study::Vehicle& vehicle : study.vehicles) {
        if (vehicle.speed > 0) ++tallies[study.IsReverse(vehicle) ? kReverse : kForward][vehicle.speed];
    }
    for (size_t speed = 0; speed < kSpeeds; ++speed) tallies[kBoth][speed] = tallies[kForward][speed] + tallies[kReverse][speed];
    SpeedFigures figures;
    figures.limit = study.SpeedLimit();
    for (int d = 0; d < 3; ++d) figures.studies[d] = StudyOf(tallies[d], figures.limit);
    const SpeedStudy& both = figures.studies[kBoth];
    if (both.withSpeed != 0) {
        uint32_t lowest = 1;
        while (tallies[kBoth][lowest] == 0) ++lowest;
        figures.histogramFirst = lowest;
        for (int d = 0; d < 2; ++d)
            figures.histogram[d].assign(tallies[d].begin() + lowest, tallies[d].begin() + both.highest + 1);
    }
    return figures;
}

VolumeFigures ComputeVolumeFigures(const study::Study& study) {
    VolumeFigures figures;
    // The study's bounds: from its settings, else the clock hours its vehicles fill.
    const std::optional<int64_t> begin = study.Begin(), end = study.End();
    if (begin && end && *end > *begin) {
        figures.begin = Seconds(*begin);
        figures.end = Seconds(*end);
    } else {
        bool any = false;
        int64_t first = 0, last = 0;
        for (const study::Vehicle& vehicle : study.vehicles) {
            if (vehicle.time == study::kNoTime) continue;
            const int64_t t = Seconds(vehicle.time);
            first = any ? std::min(first, t) : t;
            last = any ? std::max(last, t) : t;
            any = true;
        }
        if (any) {
            figures.begin = FloorDiv(first, kHour) * kHour;
            figures.end = FloorDiv(last, kHour) * kHour + kHour;
        }
    }

    // Vehicles per quarter hour and direction; runs of one quarter are counted at once.
    std::map<int64_t, std::array<uint64_t, 2>> quarterCounts;
    std::array<uint64_t, 2>* current = nullptr;
    int64_t currentQuarter = 0;
    for (const study::Vehicle& vehicle : study.vehicles) {
        if (vehicle.time == study::kNoTime) continue;
        const int64_t quarter = FloorDiv(Seconds(vehicle.time), kQuarter);
        if (current == nullptr || quarter != currentQuarter) {
            current = &quarterCounts[quarter];
            currentQuarter = quarter;
        }
        ++(*current)[study.IsReverse(vehicle) ? 1 : 0];
    }

    std::map<int64_t, std::array<uint64_t, 2>> hours, days;
    if (figures.begin && *figures.end - *figures.begin <= 400 * kDay) {
        for (int64_t hour = FloorDiv(*figures.begin, kHour) * kHour; hour < *figures.end; hour += kHour) {
            hours[hour] = {0, 0};
            days.try_emplace(FloorDiv(hour, kDay) * kDay, std::array<uint64_t, 2>{0, 0});
        }
    }
    std::map<int64_t, uint64_t> quarters;
    for (const auto& [quarter, counts] : quarterCounts) {
        const int64_t start = quarter * kQuarter;
        auto& hour = hours[FloorDiv(start, kHour) * kHour];
        auto& day = days[FloorDiv(start, kDay) * kDay];
        for (int r = 0; r < 2; ++r) {
            hour[r] += counts[r];
            day[r] += counts[r];
        }
        quarters[start] += counts[0] + counts[1];
    }
    for (const auto& [start, counts] : hours) figures.hours.push_back({start, counts});
    for (const auto& [start, counts] : days) {
        DayCount row{start, figures.begin && *figures.begin <= start && start + kDay <= *figures.end, counts};
        figures.days.push_back(row);
        for (int r = 0; r < 2; ++r) figures.totals[r] += counts[r];
        if (row.whole) {
            ++figures.wholeDays;
            for (int r = 0; r < 2; ++r) figures.wholeDayTotals[r] += counts[r];
        }
    }

    // Peak hours of each day, both directions together, inside the study and the day.
    for (const DayCount& day : figures.days) {
        const int64_t low = figures.begin ? std::max(day.start, *figures.begin) : day.start;
        const int64_t high = figures.end ? std::min(day.start + kDay, *figures.end) : day.start + kDay;
        const int64_t noon = day.start + 12 * kHour;
        const std::array<std::array<int64_t, 2>, 3> spans = {{{low, std::min(high, noon)}, {std::max(low, noon), high}, {low, high}}};
        DayPeaks peaks;
        peaks.day = day.start;
        for (size_t kind = 0; kind < 3; ++kind) {
            peaks.peaks[kind][0] = BusiestWindow(spans[kind][0], spans[kind][1], kHour, quarters);
            peaks.peaks[kind][1] = BusiestWindow(spans[kind][0], spans[kind][1], kQuarter, quarters);
        }
        figures.peaks.push_back(peaks);
    }
    return figures;
}

HeadwayFigures ComputeHeadwayFigures(const study::Study& study) {
    HeadwayFigures figures;
    for (int direction = 0; direction < 2; ++direction) {
        std::vector<int64_t> times;
        bool sorted = true;
        for (const study::Vehicle& vehicle : study.vehicles) {
            if (vehicle.time == study::kNoTime || (study.IsReverse(vehicle) ? 1 : 0) != direction) continue;
            const int64_t t = Seconds(vehicle.time);
            if (!times.empty() && t < times.back()) sorted = false;
            times.push_back(t);
        }
        if (!sorted) std::sort(times.begin(), times.end());
        for (size_t i = 1; i < times.size(); ++i) {
            const int64_t gap = times[i] - times[i - 1];
            size_t band = 5;
            while (gap < kHeadwayLows[band]) --band;
            ++figures.counts[direction][band];
        }
    }
    for (size_t band = 0; band < 6; ++band) figures.counts[kBoth][band] = figures.counts[kForward][band] + figures.counts[kReverse][band];
    return figures;
}

LengthClassFigures ComputeLengthClassFigures(const study::Study& study) {
    LengthClassFigures figures;
    figures.limits = study.LengthBins();
    figures.counts.assign(figures.limits.size() + 1, {0, 0});
    // The class of every possible length, worked out once.
    std::vector<uint32_t> classOf(kSpeeds);
    for (size_t length = 0; length < kSpeeds; ++length)
        classOf[length] = static_cast<uint32_t>(ClassOf(figures.limits, static_cast<int64_t>(length)));
    for (const study::Vehicle& vehicle : study.vehicles) {
        const int r = study.IsReverse(vehicle) ? 1 : 0;
        if (study.IsUnclassified(vehicle) || vehicle.length == 0) {
            ++figures.notClassified[r];
        } else {
            ++figures.counts[classOf[vehicle.length]][r];
        }
    }
    return figures;
}

PeriodFigures ComputePeriodFigures(const study::Study& study) {
    PeriodFigures figures;
    figures.minutes = study.PeriodMinutes();
    figures.speedLimits = study.SpeedBins();
    figures.lengthLimits = study.LengthBins();
    figures.table.assign(figures.speedLimits.size() + 1, std::vector<uint64_t>(figures.lengthLimits.size() + 1, 0));
    const size_t rows = std::min<size_t>(study.binRows, figures.table.size());
    const size_t columns = std::min<size_t>(study.binColumns, figures.table[0].size());
    for (size_t i = 0; i < study.periods.size(); ++i) {
        const study::Period& period = study.periods[i];
        figures.rows.push_back({period.end, int64_t{period.count} - int64_t{period.reverseCount}, int64_t{period.reverseCount}});
        const uint32_t* bins = study.BinsOf(i);
        for (size_t r = 0; r < rows; ++r) {
            for (size_t c = 0; c < columns; ++c) figures.table[r][c] += bins[r * study.binColumns + c];
        }
    }
    return figures;
}

StudyFigures ComputeFigures(const study::Study& study) {
    StudyFigures figures;
    for (const study::Vehicle& vehicle : study.vehicles) {
        ++figures.vehicles[study.IsReverse(vehicle) ? 1 : 0];
        if (vehicle.time == study::kNoTime) ++figures.withoutTime;
    }
    figures.speed = ComputeSpeedFigures(study);
    figures.volume = ComputeVolumeFigures(study);
    figures.headways = ComputeHeadwayFigures(study);
    figures.lengths = ComputeLengthClassFigures(study);
    figures.periods = ComputePeriodFigures(study);
    return figures;
}

}  // namespace tallyx::report

#include "traffic_generator.h"

#include <algorithm>
#include <cmath>

#include "random.h"
#include "sim_models.h"

namespace tallysim {

namespace {

constexpr int64_t kMinuteMs = 60'000;
constexpr int64_t kDayMs = 86'400'000;
constexpr double kFeetPerSecondPerMph = 1.4666666666666666;

// Relative traffic intensity at an hour of the day: a quiet night, a morning and a longer
// evening peak, and a midday plateau.
double Intensity(double hour) {
    auto bump = [](double x, double centre, double width) {
        const double d = (x - centre) / width;
        return std::exp(-0.5 * d * d);
    };
    return 0.06 + 1.0 * bump(hour, 8.0, 1.1) + 1.2 * bump(hour, 17.0, 1.6) + 0.5 * bump(hour, 13.0, 3.0);
}

int64_t PositiveModulo(int64_t a, int64_t b) {
    const int64_t r = a % b;
    return r < 0 ? r + b : r;
}

// Arrival times, sorted, spread over [beginMs, endMs) by the intensity profile.
std::vector<int64_t> Arrivals(Random& random, uint64_t count, int64_t beginMs, int64_t endMs) {
    std::vector<int64_t> times;
    if (count == 0 || endMs <= beginMs) return times;
    const int64_t minutes = (endMs - beginMs + kMinuteMs - 1) / kMinuteMs;
    std::vector<double> cumulative(static_cast<size_t>(minutes));
    double total = 0;
    for (int64_t m = 0; m < minutes; ++m) {
        const int64_t start = beginMs + m * kMinuteMs;
        const double hour = static_cast<double>(PositiveModulo(start, kDayMs)) / 3'600'000.0 + 1.0 / 120.0;
        const double length = static_cast<double>(std::min<int64_t>(kMinuteMs, endMs - start)) / kMinuteMs;
        total += Intensity(hour) * length;
        cumulative[static_cast<size_t>(m)] = total;
    }
    // Sorted uniform numbers from normalised exponential spacings.
    std::vector<double> spacing(static_cast<size_t>(count));
    double sum = 0;
    for (auto& s : spacing) {
        double u = random.Uniform();
        if (u < 1e-300) u = 1e-300;
        sum += -std::log(u);
        s = sum;
    }
    double last = random.Uniform();
    if (last < 1e-300) last = 1e-300;
    sum += -std::log(last);

    times.reserve(static_cast<size_t>(count));
    size_t m = 0;
    for (const double s : spacing) {
        const double x = s / sum * total;
        while (m + 1 < cumulative.size() && cumulative[m] < x) ++m;
        const double before = m == 0 ? 0.0 : cumulative[m - 1];
        const double weight = cumulative[m] - before;
        const int64_t start = beginMs + static_cast<int64_t>(m) * kMinuteMs;
        const int64_t length = std::min<int64_t>(kMinuteMs, endMs - start);
        double within = weight > 0 ? (x - before) / weight : 0.0;
        within = std::clamp(within, 0.0, 1.0);
        int64_t t = start + static_cast<int64_t>(within * static_cast<double>(length));
        t = std::clamp<int64_t>(t, beginMs, endMs - 1);
        if (!times.empty() && t < times.back()) t = times.back();
        times.push_back(t);
    }
    return times;
}

double SpeedLimitOf(const StudyDescription& study) {
    const auto numbers = BinNumbers(study.speedLimit);
    if (numbers.empty() || numbers[0] == 0 || numbers[0] > 150) return 35.0;
    return numbers[0];
}

}  // namespace

void ComputePeriods(Study& study, double temperatureC, unsigned zeroOffsetEvery, uint64_t seed) {
    study.periods.clear();
    const int64_t beginMs = study.begin.ToMillis();
    const int64_t endMs = study.end.ToMillis();
    if (study.periodMinutes == 0 || endMs <= beginMs) return;
    const int64_t periodMs = int64_t{study.periodMinutes} * kMinuteMs;
    int64_t count = (endMs - beginMs + periodMs - 1) / periodMs;
    const int64_t capacity = SimModelOf(study.model).periodicCapacity;
    if (capacity != 0) count = std::min<int64_t>(count, capacity);

    // Valid records by time; the vehicles may be slightly out of order.
    std::vector<const Vehicle*> valid;
    valid.reserve(study.vehicles.size());
    for (const auto& v : study.vehicles)
        if (!v.invalid) valid.push_back(&v);
    std::stable_sort(valid.begin(), valid.end(),
                     [](const Vehicle* a, const Vehicle* b) { return a->timeMs < b->timeMs; });

    Random random(seed ^ 0x5EED7E3Bull);
    size_t cursor = 0;
    study.periods.reserve(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) {
        PeriodRecord p;
        p.index = static_cast<uint32_t>(i);
        const int64_t startMs = beginMs + i * periodMs;
        const int64_t stopMs = startMs + periodMs;
        p.end = SimDateTime::FromMillis(stopMs);
        p.endOffsetMinutes = static_cast<uint16_t>((i + 1) * study.periodMinutes);
        p.storedEndOffset = (zeroOffsetEvery != 0 && (i + 1) % zeroOffsetEvery == 0) ? 0 : p.endOffsetMinutes;
        double occupiedSeconds = 0;
        while (cursor < valid.size() && valid[cursor]->timeMs < startMs) ++cursor;
        while (cursor < valid.size() && valid[cursor]->timeMs < stopMs) {
            const Vehicle& v = *valid[cursor++];
            ++p.count;
            if (v.reverse) ++p.reverseCount;
            if (v.speedMph > 0 && v.lengthFt > 0) occupiedSeconds += v.lengthFt / (v.speedMph * kFeetPerSecondPerMph);
        }
        const double occupancy = occupiedSeconds / (static_cast<double>(periodMs) / 1000.0) * 100.0;
        p.occupancy = static_cast<uint16_t>(std::min(std::floor(occupancy + 0.5), 65535.0));
        const double hour = static_cast<double>(PositiveModulo(startMs, kDayMs)) / 3'600'000.0;
        const double t = temperatureC + 6.0 * std::sin((hour - 9.0) / 24.0 * 6.283185307179586) +
                         random.Normal(0.0, 0.6);
        p.temperatureC = static_cast<int>(std::clamp(std::lround(t), -128L, 127L));
        p.temperatureByte = static_cast<uint8_t>(p.temperatureC & 0xFF);
        study.periods.push_back(p);
    }
}

uint8_t RoundedByte(double value) { return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

Study GenerateStudy(const Description& description) {
    const auto& d = description;
    const auto& traffic = d.traffic;
    const SimModel& model = SimModelOf(d.model);
    Study study;
    study.model = d.model;
    study.begin = d.study.begin;
    study.end = d.study.end;
    study.periodMinutes = d.study.periodMinutes;
    study.dateEncoding = model.datedRecords && d.study.dateEncoding;

    const int64_t beginMs = study.begin.ToMillis();
    int64_t windowEnd = study.end.ToMillis();
    if (model.recordSpanMs != 0) windowEnd = std::min<int64_t>(windowEnd, beginMs + model.recordSpanMs);
    uint64_t count = traffic.vehicles;
    if (count == TrafficDescription::kFullFlash) count = model.fullStudyVehicles;
    count = std::min(count, model.recordCapacity);

    Random random(traffic.seed);
    const std::vector<int64_t> times = Arrivals(random, count, beginMs, windowEnd);
    const double limit = SpeedLimitOf(d.study);
    const double spread = traffic.speedSpreadMph;

    study.vehicles.resize(times.size());
    for (size_t i = 0; i < times.size(); ++i) {
        Vehicle& v = study.vehicles[i];
        v.timeMs = times[i];
        v.truck = random.Chance(traffic.truckShare);
        v.reverse = random.Chance(traffic.reverseShare);
        v.speedMph = std::clamp(v.truck ? random.Normal(limit - 3.0, spread * 0.8) : random.Normal(limit + 2.0, spread),
                                5.0, 110.0);
        if (!v.truck) v.lengthFt = std::clamp(random.Normal(15.5, 1.6), 9.0, 21.0);
        else if (random.Chance(0.5)) v.lengthFt = std::clamp(random.Normal(30.0, 4.0), 21.0, 45.0);
        else v.lengthFt = std::clamp(random.Normal(68.0, 5.0), 50.0, 80.0);

        v.stopped = random.Chance(traffic.stoppedShare);
        v.unclassified = !v.stopped && random.Chance(traffic.unclassifiedShare);
        const bool noLength =
            model.lengthlessRecords && !v.stopped && !v.unclassified && random.Chance(traffic.noLengthShare);
        if (random.Chance(traffic.implausibleShare)) {
            switch (random.Below(4)) {
                case 0: v.lengthFt = 2.0 + static_cast<double>(random.Below(4)); break;       // below 6 ft
                case 1: v.lengthFt = 142.0 + static_cast<double>(random.Below(60)); break;    // above 141 ft
                case 2: v.speedMph = 1.0 + static_cast<double>(random.Below(3)); break;       // below 4 mph
                default: v.speedMph = 128.0 + static_cast<double>(random.Below(80)); break;   // above 127 mph
            }
        }
        if (v.stopped) v.speedMph = 0;
        if (v.unclassified || noLength) v.lengthFt = 0;
        model.storeVehicle(v, noLength, traffic, random);
    }

    if (model.spoilRecords != nullptr) model.spoilRecords(study, traffic, random);

    ComputePeriods(study, traffic.temperatureC, model.zeroOffsets ? traffic.zeroOffsetEvery : 0, traffic.seed);
    return study;
}

}  // namespace tallysim

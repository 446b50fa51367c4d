#pragma once
// What the library should make of a simulated model B study, worked out from
// the simulator's vehicles without the library's own code: the counter keeps
// no periods, so they are derived here from the vehicles as well.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "model_a_expected.h"

namespace tallyx::e2e {

inline std::string FlagDescriptionB(unsigned flags) {
    std::string text;
    auto add = [&text](const char* name) { text += (text.empty() ? "" : "+") + std::string(name); };
    if (flags & 0x01) add("FORWARD");
    else if (flags & 0x02) add("REVERSE");
    if (flags & 0x04) add("UNCLASSIFIED");
    return text;
}

// "whole.fraction" read as a number and rounded half up, as far as 8 bits go.
inline unsigned RoundedMeasureB(uint8_t whole, uint8_t fraction) {
    const std::string text = std::to_string(whole) + "." + std::to_string(fraction);
    const double rounded = std::floor(std::strtod(text.c_str(), nullptr) + 0.5);
    return rounded > 255 ? 255u : static_cast<unsigned>(rounded);
}

// The vehicles as the library presents them: stamped in whole seconds from the
// begin, the top three flag bits dropped, measurements rounded.
inline std::vector<Vehicle> ExpectedVehiclesB(const Study& study) {
    std::vector<Vehicle> vehicles;
    const int64_t beginMs = study.begin.ToMillis();
    for (const tallysim::Vehicle& v : study.vehicles) {
        Vehicle e;
        e.timeMs = beginMs + (v.timeMs - beginMs) / 1000 * 1000;
        e.time = SimDateTime::FromMillis(e.timeMs).Text();
        e.flags = v.flags & 0x1F;
        e.speed = RoundedMeasureB(v.speedWhole, v.speedFraction);
        e.length = RoundedMeasureB(v.lengthWhole, v.lengthFraction);
        vehicles.push_back(e);
    }
    return vehicles;
}

// Every period from the begin to the end, a partial last one included.
inline std::vector<Period> ExpectedPeriodsB(const Study& study, const std::vector<Vehicle>& vehicles,
                                            const std::vector<uint32_t>& speedLimits,
                                            const std::vector<uint32_t>& lengthLimits) {
    std::vector<Period> periods;
    const int64_t periodMs = int64_t{study.periodMinutes} * 60000;
    for (int64_t start = study.begin.ToMillis(); start < study.end.ToMillis(); start += periodMs) {
        Period e;
        e.hasTemperature = false;
        e.time = SimDateTime::FromMillis(start + periodMs).Text();
        e.bins.assign(speedLimits.size() + 1, std::vector<unsigned>(lengthLimits.size() + 1, 0));
        double occupied = 0;
        for (const Vehicle& v : vehicles) {
            if (v.timeMs < start || v.timeMs >= start + periodMs) continue;
            ++e.count;
            if (v.flags & 0x02) ++e.reverseCount;
            if (v.speed == 0) continue;
            ++e.bins[BinIndex(speedLimits, v.speed)][BinIndex(lengthLimits, v.length)];
            occupied += v.length / (v.speed * 1.4666666666666666);
        }
        e.occupancy = static_cast<unsigned>(std::floor(occupied / (study.periodMinutes * 60.0) * 100.0 + 0.5));
        periods.push_back(e);
    }
    return periods;
}

}  // namespace tallyx::e2e

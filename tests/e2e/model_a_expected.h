#pragma once
// What the library should make of a simulated model A study, worked out from
// the simulator's vehicles and periods without the library's own code.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "simulator.h"

namespace tallyx::e2e {

using tallysim::SimDateTime;
using tallysim::Study;

struct Vehicle {
    std::string time;
    int64_t timeMs = 0;
    unsigned flags = 0;
    unsigned speed = 0;
    unsigned length = 0;
};

// The vehicles as the library presents them: whole seconds, implausible
// measurements cleared or replaced with a flag saying so.
inline std::vector<Vehicle> ExpectedVehicles(const Study& study) {
    std::vector<Vehicle> vehicles;
    for (const tallysim::Vehicle& v : study.vehicles) {
        Vehicle e;
        e.timeMs = v.timeMs / 1000 * 1000;
        e.time = SimDateTime::FromMillis(e.timeMs).Text();
        e.flags = v.flags;
        e.speed = v.speedWhole;
        e.length = v.lengthWhole;
        if (e.flags & 0xC0) {  // stopped or unclassified
            e.speed = e.length = 0;
        } else {
            if (e.flags & 0x20) {
                e.length = 0;
            } else if (e.length < 6 || e.length > 141) {
                e.length = 14;
                e.flags |= 0x200;
            }
            if (e.speed < 4 || e.speed > 127) {
                e.speed = e.length = 0;
                e.flags |= 0x600;
            }
        }
        vehicles.push_back(e);
    }
    return vehicles;
}

inline std::string FlagDescription(unsigned flags) {
    static const std::pair<unsigned, const char*> names[] = {{0x20, "NO_LENGTH"},          {0x40, "STOPPED"},
                                                             {0x80, "UNCLASSIFIED"},       {0x100, "MODIFIED_TIMESTAMP"},
                                                             {0x200, "DEFAULT_LENGTH"},    {0x400, "DEFAULT_SPEED"}};
    std::vector<std::string> parts;
    if (flags & 0x02) parts.push_back("FORWARD");
    else if (flags & 0x04) parts.push_back("REVERSE");
    for (const auto& [bit, name] : names)
        if (flags & bit) parts.push_back(name);
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "+") + part;
    return text;
}

using FlagDescriber = std::string (*)(unsigned flags);

inline std::vector<std::string> ExpectedSequentialCsv(const std::vector<Vehicle>& vehicles,
                                                      FlagDescriber describe = FlagDescription) {
    std::vector<std::string> lines = {"TimeStamp,Flag,Flag Description,Speed,Length"};
    for (const Vehicle& v : vehicles)
        lines.push_back(v.time + "," + std::to_string(v.flags) + "," + describe(v.flags) + "," +
                        std::to_string(v.speed) + "," + std::to_string(v.length));
    return lines;
}

inline std::string Child(const std::string& name, const std::string& text) { return "<" + name + ">" + text + "</" + name + ">"; }

inline std::vector<std::string> ExpectedSequentialXml(const std::vector<Vehicle>& vehicles,
                                                      FlagDescriber describe = FlagDescription) {
    std::vector<std::string> lines;
    for (const Vehicle& v : vehicles)
        lines.push_back("<Sequential>" + Child("TimeStamp", v.time) + Child("Flag", std::to_string(v.flags)) +
                        Child("Flag Description", describe(v.flags)) + Child("Speed", std::to_string(v.speed)) +
                        Child("Length", std::to_string(v.length)) + "</Sequential>");
    return lines;
}

struct Period {
    std::string time;
    bool hasTemperature = true;  // model B has no thermometer: the column stays empty
    int fahrenheit = 0;
    unsigned occupancy = 0;
    unsigned count = 0;
    unsigned reverseCount = 0;
    std::vector<std::vector<unsigned>> bins;
};

inline unsigned BinIndex(const std::vector<uint32_t>& limits, unsigned value) {
    return static_cast<unsigned>(std::count_if(limits.begin(), limits.end(), [&](uint32_t l) { return l <= value; }));
}

// Each period counts the vehicles from its start up to, not including, its
// end, and sorts those with a speed into the speed-by-length bins.
inline std::vector<Period> ExpectedPeriods(const Study& study, const std::vector<Vehicle>& vehicles,
                                    const std::vector<uint32_t>& speedLimits, const std::vector<uint32_t>& lengthLimits) {
    std::vector<Period> periods;
    const int64_t periodMs = int64_t{study.periodMinutes} * 60000;
    for (const tallysim::PeriodRecord& p : study.periods) {
        Period e;
        int64_t endMs = study.begin.ToMillis() + int64_t{p.endOffsetMinutes} * 60000;
        e.time = SimDateTime::FromMillis(endMs).Text();
        int celsius = static_cast<int8_t>(p.temperatureByte);
        e.fahrenheit = celsius * 9 / 5 + 32;
        e.occupancy = p.occupancy;
        e.bins.assign(speedLimits.size() + 1, std::vector<unsigned>(lengthLimits.size() + 1, 0));
        for (const Vehicle& v : vehicles) {
            if (v.timeMs < endMs - periodMs || v.timeMs >= endMs) continue;
            ++e.count;
            if (v.flags & 0x04) ++e.reverseCount;
            if (v.speed != 0) ++e.bins[BinIndex(speedLimits, v.speed)][BinIndex(lengthLimits, v.length)];
        }
        periods.push_back(e);
    }
    return periods;
}

inline std::vector<std::string> ExpectedPeriodicCsv(const std::vector<Period>& periods, size_t rows, size_t columns) {
    std::string header = "TimeStamp,Temperature,Occupancy,Count,ReverseCount";
    for (size_t s = 1; s <= rows; ++s)
        for (size_t l = 1; l <= columns; ++l) header += ",Bin_" + std::to_string(s) + "_" + std::to_string(l);
    std::vector<std::string> lines = {header};
    for (const Period& p : periods) {
        std::string line = p.time + "," + (p.hasTemperature ? std::to_string(p.fahrenheit) : "") + "," +
                           std::to_string(p.occupancy) + "," +
                           std::to_string(p.count) + "," + std::to_string(p.reverseCount);
        for (const auto& row : p.bins)
            for (unsigned cell : row) line += "," + std::to_string(cell);
        lines.push_back(line);
    }
    return lines;
}

inline std::vector<std::string> ExpectedPeriodicXml(const std::vector<Period>& periods) {
    std::vector<std::string> lines;
    for (const Period& p : periods) {
        std::string line = "<Periodic>" + Child("TimeStamp", p.time) +
                           (p.hasTemperature ? Child("Temperature", std::to_string(p.fahrenheit)) : "") +
                           Child("Occupancy", std::to_string(p.occupancy)) + Child("Count", std::to_string(p.count)) +
                           Child("ReverseCount", std::to_string(p.reverseCount)) + "<Bin>";
        for (size_t s = 0; s < p.bins.size(); ++s) {
            std::string cells;
            for (size_t l = 0; l < p.bins[s].size(); ++l)
                cells += Child(std::to_string(l + 1), std::to_string(p.bins[s][l]));
            line += Child(std::to_string(s + 1), cells);
        }
        lines.push_back(line + "</Bin></Periodic>");
    }
    return lines;
}

// The finish code as the library reports it.
inline std::string FinishCode(unsigned code) {
    switch (code) {
        case 40: case 42: case 43: return "0";
        case 41: return "1";
        case 44: return "14";
        case 45: return "15";
        case 46: return "20";
        default: return std::to_string(code);
    }
}

}  // namespace tallyx::e2e

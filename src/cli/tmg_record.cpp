#include "cli/tmg_record.h"

#include "study/civil_time.h"
#include "study/record_reader.h"

#include <algorithm>
#include <cstdio>

namespace tallyx::cli {

using study::DayOfWeek;
using study::DaysInMonth;
using study::Printable;

namespace {

// The two-digit FIPS codes of the states, the District of Columbia and Puerto Rico.
constexpr int kStateCodes[] = {1,  2,  4,  5,  6,  8,  9,  10, 11, 12, 13, 15, 16, 17, 18, 19, 20, 21,
                               22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39,
                               40, 41, 42, 44, 45, 46, 47, 48, 49, 50, 51, 53, 54, 55, 56, 72};

constexpr const char* kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool AllDigits(std::string_view text) { return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit); }

int Number(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

bool KnownState(int code) { return std::find(std::begin(kStateCodes), std::end(kStateCodes), code) != std::end(kStateCodes); }

std::string Columns(size_t first, size_t width) {
    return width == 1 ? "column " + std::to_string(first)
                      : "columns " + std::to_string(first) + "-" + std::to_string(first + width - 1);
}

std::string Quoted(std::string_view text) { return "'" + Printable(text) + "'"; }

}  // namespace


std::string FormatVolumeRecord(const VolumeRecord& r) {
    char head[32];
    std::snprintf(head, sizeof head, "3%.2s%.2s%.6s%c%c%04d%02d%02d%d", r.state.c_str(), r.functionalClass.c_str(),
                  r.station.c_str(), r.direction, r.lane, r.year, r.month, r.day, DayOfWeek(r.year, r.month, r.day));
    std::string line(head);
    line.reserve(kVolumeRecordLength);
    for (int32_t volume : r.volumes) {
        char hour[8];
        if (volume == kNoVolume) {
            line += "     ";
        } else {
            std::snprintf(hour, sizeof hour, "%05d", static_cast<int>(volume));
            line += hour;
        }
    }
    line += r.restriction;
    return line;
}

bool NormaliseStateCode(std::string_view text, std::string& out, std::string& error) {
    if (text.size() > 2 || !AllDigits(text) || !KnownState(Number(text))) {
        error = "--state " + Quoted(text) +
                ": the state's two-digit FIPS code is expected (01-56 without 03, 07, 14, 43 and 52, or 72), "
                "e.g. 39 for Ohio";
        return false;
    }
    out = (text.size() == 1 ? "0" : "") + std::string(text);
    return true;
}

bool NormaliseFunctionalClass(std::string_view text, std::string& out, std::string& error) {
    const char area = text.size() == 2 ? static_cast<char>(text[1] & ~0x20) : ' ';
    if (text.size() != 2 || text[0] < '1' || text[0] > '7' || (area != 'R' && area != 'U')) {
        error = "--class " + Quoted(text) + ": a digit 1-7 and R (rural) or U (urban) is expected, e.g. 3U";
        return false;
    }
    out = std::string(1, text[0]) + area;
    return true;
}

bool NormaliseStationId(std::string_view text, std::string& out, std::string& error) {
    if (text.empty() || text.size() > 6 || !std::all_of(text.begin(), text.end(), IsAlnum)) {
        error = "--station " + Quoted(text) + ": 1 to 6 letters or digits are expected, without blanks";
        return false;
    }
    out = std::string(6 - text.size(), '0') + std::string(text);
    return true;
}

const char* DirectionName(int code) {
    static const char* kNames[] = {"east and west", "north",     "north-east", "east", "south-east",
                                   "south",         "south-west", "west",       "north-west", "north and south"};
    return code >= 0 && code <= 9 ? kNames[code] : "?";
}

std::vector<FieldProblem> CheckVolumeRecord(std::string_view line) {
    std::vector<FieldProblem> problems;
    auto problem = [&problems](std::string field, size_t first, size_t width, std::string text) {
        problems.push_back({std::move(field) + " (" + Columns(first, width) + ")", std::move(text)});
    };
    if (line.size() != kVolumeRecordLength) {
        problems.push_back({"length", std::to_string(line.size()) + " characters instead of 143" +
                                          (line.size() == 141 ? " (the 2001 layout, with a two-digit year)" : "")});
        return problems;
    }
    auto field = [&line](size_t first, size_t width) { return line.substr(first - 1, width); };
    if (line[0] != '3') problem("record type", 1, 1, Quoted(field(1, 1)) + " instead of 3");
    const std::string_view state = field(2, 2);
    if (!AllDigits(state) || !KnownState(Number(state)))
        problem("state code", 2, 2, Quoted(state) + " is not a state's FIPS code");
    const std::string_view fclass = field(4, 2);
    if (fclass[0] < '1' || fclass[0] > '7' || (fclass[1] != 'R' && fclass[1] != 'U'))
        problem("functional classification", 4, 2, Quoted(fclass) + " is not a digit 1-7 and R or U");
    const std::string_view station = field(6, 6);
    if (!std::all_of(station.begin(), station.end(), IsAlnum))
        problem("station ID", 6, 6, Quoted(station) + " holds something other than letters and digits");
    if (!IsDigit(line[11])) problem("direction of travel", 12, 1, Quoted(field(12, 1)) + " is not a digit 0-9");
    if (!IsDigit(line[12])) problem("lane of travel", 13, 1, Quoted(field(13, 1)) + " is not a digit 0-9");

    const std::string_view year = field(14, 4), month = field(18, 2), day = field(20, 2), weekday = field(22, 1);
    bool dateKnown = true;
    if (!AllDigits(year)) {
        problem("year", 14, 4, Quoted(year) + " is not four digits");
        dateKnown = false;
    }
    if (!AllDigits(month) || Number(month) < 1 || Number(month) > 12) {
        problem("month", 18, 2, Quoted(month) + " is not 01-12");
        dateKnown = false;
    }
    if (!AllDigits(day) || Number(day) < 1 ||
        (dateKnown ? Number(day) > DaysInMonth(Number(year), Number(month)) : Number(day) > 31)) {
        problem("day of month", 20, 2,
                Quoted(day) + (dateKnown ? " is not a day of " + std::string(year) + "-" + std::string(month)
                                         : std::string(" is not 01-31")));
        dateKnown = false;
    }
    if (!AllDigits(weekday) || weekday[0] < '1' || weekday[0] > '7') {
        problem("day of week", 22, 1, Quoted(weekday) + " is not 1 (Sunday) to 7 (Saturday)");
    } else if (dateKnown) {
        const int expected = DayOfWeek(Number(year), Number(month), Number(day));
        if (weekday[0] - '0' != expected)
            problem("day of week", 22, 1,
                    Quoted(weekday) + ", but " + std::string(year) + "-" + std::string(month) + "-" +
                        std::string(day) + " is a " + kDayNames[expected - 1] + " (" + std::to_string(expected) + ")");
    }
    for (size_t hour = 1; hour <= 24; ++hour) {
        const size_t first = 23 + 5 * (hour - 1);
        const std::string_view volume = field(first, 5);
        if (!AllDigits(volume) && volume != "     ")
            problem("hour " + std::to_string(hour), first, 5, Quoted(volume) + " is neither five digits nor five blanks");
    }
    if (line[142] < '0' || line[142] > '5') problem("restrictions", 143, 1, Quoted(field(143, 1)) + " is not 0-5");
    return problems;
}

}  // namespace tallyx::cli

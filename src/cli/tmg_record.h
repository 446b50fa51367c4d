#pragma once
// The hourly volume record ("3" record) of the federal traffic monitoring
// exchange format: 143 fixed columns per station, direction, lane and day,
// with 24 hourly volumes. Writing one, checking one, and the checks of its
// station fields that the command line shares.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tallyx::cli {

inline constexpr size_t kVolumeRecordLength = 143;
// An hour without data: written as five blanks.
inline constexpr int32_t kNoVolume = -1;
inline constexpr int32_t kMaxVolume = 99999;

struct VolumeRecord {
    std::string state;            // two digits, "39"
    std::string functionalClass;  // digit 1-7 and R or U, "3U"
    std::string station;          // six letters or digits, "000123"
    char direction = '1';         // '0'-'9'
    char lane = '0';              // '0'-'9'
    int year = 0;
    int month = 0;
    int day = 0;
    std::array<int32_t, 24> volumes{};  // hour 1 (00:00-01:00) first; kNoVolume for no data
    char restriction = '0';       // '0'-'5'
};

// The 143 characters of the record, without a line end. The fields must be
// valid (see the checks below).
std::string FormatVolumeRecord(const VolumeRecord& record);

// The station fields as given on the command line, each checked and brought
// into its column form; false with a sentence saying what is expected.
bool NormaliseStateCode(std::string_view text, std::string& out, std::string& error);
bool NormaliseFunctionalClass(std::string_view text, std::string& out, std::string& error);
bool NormaliseStationId(std::string_view text, std::string& out, std::string& error);

// The direction codes 1-8 by name: "north", "north-east", ...
const char* DirectionName(int code);

struct FieldProblem {
    std::string field;    // "day of week (column 22)"
    std::string problem;  // "'4', but 2026-12-10 is a Thursday (5)"
};

// Everything in one line (without its line end) that breaks the layout.
std::vector<FieldProblem> CheckVolumeRecord(std::string_view line);

}  // namespace tallyx::cli

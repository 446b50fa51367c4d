#include "cli/tmg_volumes.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

#include "cli/tmg_record.h"
#include "platform/files.h"

namespace tallyx::cli {

namespace {

constexpr std::string_view kSequentialHeader = "TimeStamp,Flag,Flag Description,Speed,Length";
// No counter records for years; a longer span means the study times are wrong,
// and would only fill memory and the output with empty days.
constexpr int64_t kMaxStudyDays = 3660;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

// Reads an unsigned number of 1 to 9 digits at text[at].
bool ReadNumber(std::string_view text, size_t& at, int& value) {
    const size_t start = at;
    value = 0;
    while (at < text.size() && at - start < 9 && text[at] >= '0' && text[at] <= '9')
        value = value * 10 + (text[at++] - '0');
    return at != start;
}

bool Expect(std::string_view text, size_t& at, char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
}

int64_t HourOf(const CivilTime& t) { return DaysFromCivil(t.year, t.month, t.day) * 24 + t.hour; }

// The text of "key": "value" in a JSON object written by tallyx read.
std::string JsonValue(const std::string& json, size_t from, const std::string& key) {
    const std::string pattern = "\"" + key + "\": \"";
    const size_t at = json.find(pattern, from);
    if (at == std::string::npos) return "";
    const size_t start = at + pattern.size();
    const size_t end = json.find('"', start);
    return end == std::string::npos ? "" : json.substr(start, end - start);
}

// The value of a "Label: value" line of tallyread's study.txt.
std::string StudyTextValue(const std::string& text, const std::string& label) {
    const std::string pattern = label + ": ";
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line(text.data() + at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.substr(0, pattern.size()) == pattern) return std::string(line.substr(pattern.size()));
        at = end + 1;
    }
    return "";
}

}  // namespace

bool ReadFileText(const std::string& path, std::string& text) {
    std::error_code failure;
    if (!std::filesystem::is_regular_file(path, failure)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    in.seekg(0, std::ios::beg);
    text.resize(static_cast<size_t>(size));
    in.read(text.data(), size);
    return in.gcount() == size;
}

TimeStampKind ParseTimeStamp(std::string_view text, CivilTime& t) {
    size_t at = 0;
    t = CivilTime{};
    const bool shaped = ReadNumber(text, at, t.year) && Expect(text, at, '-') && ReadNumber(text, at, t.month) &&
                        Expect(text, at, '-') && ReadNumber(text, at, t.day) && Expect(text, at, ' ') &&
                        ReadNumber(text, at, t.hour) && Expect(text, at, ':') && ReadNumber(text, at, t.minute) &&
                        Expect(text, at, ':') && ReadNumber(text, at, t.second) &&
                        (at == text.size() || (Expect(text, at, '.') && ReadNumber(text, at, t.millisecond))) &&
                        at == text.size();
    if (!shaped) return TimeStampKind::kInvalid;
    if (t.year == 0 && t.month == 0 && t.day == 0 && t.hour == 0 && t.minute == 0 && t.second == 0 &&
        t.millisecond == 0)
        return TimeStampKind::kNull;
    const bool valid = t.year >= 1000 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
                       t.day <= DaysInMonth(t.year, t.month) && t.hour < 24 && t.minute < 60 && t.second < 60 &&
                       t.millisecond < 1000;
    return valid ? TimeStampKind::kValid : TimeStampKind::kInvalid;
}

bool StudyVolumes::SetStudy(const std::string& beginText, const std::string& endText, std::string& error) {
    CivilTime begin, end;
    for (const auto& [text, time, name] : {std::tuple{&beginText, &begin, "begin"}, std::tuple{&endText, &end, "end"}}) {
        if (ParseTimeStamp(*text, *time) != TimeStampKind::kValid) {
            error = std::string("the study's ") + name + " '" + Printable(*text) + "' is not a date and time";
            return false;
        }
    }
    // An hour has data only when the study covers all of it.
    const bool beginsOnTheHour = begin.minute == 0 && begin.second == 0 && begin.millisecond == 0;
    firstHour_ = HourOf(begin) + (beginsOnTheHour ? 0 : 1);
    lastHour_ = HourOf(end) - 1;
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

bool StudyVolumes::AddVehicleLine(std::string_view line, std::string& error) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t commas[4];
    size_t found = 0;
    for (size_t at = line.find(','); at != std::string_view::npos; at = line.find(',', at + 1)) {
        if (found == 4) {
            found = 5;
            break;
        }
        commas[found++] = at;
    }
    if (found != 4) {
        error = "expected 5 fields (" + std::string(kSequentialHeader) + ")";
        return false;
    }
    return AddVehicle(line.substr(0, commas[0]), line.substr(commas[1] + 1, commas[2] - commas[1] - 1), error);
}

bool StudyVolumes::AddVehicleElement(std::string_view line, std::string& error) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto child = [line](std::string_view name, std::string_view& text) {
        const std::string open = "<" + std::string(name) + ">", close = "</" + std::string(name) + ">";
        const size_t start = line.find(open);
        const size_t end = start == std::string_view::npos ? start : line.find(close, start + open.size());
        if (end == std::string_view::npos) return false;
        text = line.substr(start + open.size(), end - start - open.size());
        return true;
    };
    std::string_view time, description;
    if (line.substr(0, 12) != "<Sequential>" || !child("TimeStamp", time) || !child("Flag Description", description)) {
        error = "expected a Sequential element with TimeStamp and Flag Description";
        return false;
    }
    return AddVehicle(time, description, error);
}

bool StudyVolumes::AddVehicle(std::string_view timeStamp, std::string_view description, std::string& error) {
    CivilTime time;
    const TimeStampKind kind = ParseTimeStamp(timeStamp, time);
    if (kind == TimeStampKind::kInvalid) {
        error = "'" + Printable(timeStamp) + "' is not a time stamp";
        return false;
    }
    // FORWARD or REVERSE in the flag description, whichever model wrote it;
    // a vehicle marked with neither counts as forward, as in the periodic counts.
    bool reverse = false;
    for (size_t at = 0; at <= description.size();) {
        const size_t end = std::min(description.find('+', at), description.size());
        if (description.substr(at, end - at) == "REVERSE") reverse = true;
        at = end + 1;
    }
    ++vehicles_[reverse ? 1 : 0];
    if (kind == TimeStampKind::kNull) {
        ++withoutTime_;
        return true;
    }
    const int64_t hour = HourOf(time);
    if (hour < firstHour_ || hour > lastHour_) {
        ++unplaced_;
        return true;
    }
    ++counts_[reverse ? 1 : 0][static_cast<size_t>(hour - firstDay_ * 24)];
    return true;
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

bool LoadStudyVolumes(const std::string& folder, StudyVolumes& volumes, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code failure;
    if (!fs::is_directory(folder, failure)) {
        error = folder + (fs::exists(folder, failure) ? " is not a folder" : ": no such folder");
        return false;
    }
    std::string begin, end, text;
    const std::string settings = JoinPath(folder, "settings.json");
    const std::string studyText = JoinPath(folder, "study.txt");
    if (ReadFileText(settings, text)) {
        const size_t study = text.find("\"study\"");
        if (study != std::string::npos) {
            begin = JsonValue(text, study, "begin");
            end = JsonValue(text, study, "end");
        }
        if (begin.empty() || end.empty()) {
            error = settings + " names no study begin and end: it was not written by tallyx read";
            return false;
        }
    } else if (ReadFileText(studyText, text)) {
        begin = StudyTextValue(text, "Start Time");
        end = StudyTextValue(text, "End Time");
        if (begin.empty() || end.empty()) {
            error = studyText + " has no Start Time and End Time lines: it was not written by tallyread";
            return false;
        }
    } else {
        error = folder + " is not the folder of a read: it has neither settings.json (tallyx read) nor study.txt "
                         "(tallyread)";
        return false;
    }
    if (!volumes.SetStudy(begin, end, error)) {
        error = folder + ": " + error;
        return false;
    }

    // The vehicles as CSV, or as the XML that tallyx read --format xml writes:
    // a declaration, the root, one element a line, the root closed.
    const std::string csvPath = JoinPath(folder, "sequential.csv"), xmlPath = JoinPath(folder, "sequential.xml");
    std::string sequential = csvPath;
    bool xml = false;
    if (!ReadFileText(csvPath, text)) {
        if (fs::exists(csvPath, failure) || !ReadFileText(xmlPath, text)) {
            error = fs::exists(csvPath, failure)   ? csvPath + " cannot be read"
                    : fs::exists(xmlPath, failure) ? xmlPath + " cannot be read"
                                                   : folder + " has no sequential.csv or sequential.xml: the read "
                                                              "holds no vehicles";
            return false;
        }
        sequential = xmlPath;
        xml = true;
    }
    if (text.empty()) {
        error = sequential + " is empty: it is not the vehicle file of a read";
        return false;
    }
    if (text.back() != '\n') {
        error = sequential + " is cut off: its last line has no line end";
        return false;
    }
    std::vector<std::string_view> lines;
    for (std::string_view rest(text); !rest.empty();) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        rest.remove_prefix(end + 1);
    }
    const bool framed = xml ? lines.size() >= 3 && lines[0].substr(0, 5) == "<?xml" &&
                                  lines[1] == "<SequentialRecords>"
                            : lines[0] == kSequentialHeader;
    if (!framed) {
        error = sequential + (xml ? " does not begin with the SequentialRecords root"
                                  : " does not begin with the line " + std::string(kSequentialHeader)) +
                ": it is not the vehicle file of a read";
        return false;
    }
    if (xml && lines.back() != "</SequentialRecords>") {
        error = sequential + " is cut off: the SequentialRecords root is not closed";
        return false;
    }
    for (size_t i = xml ? 2 : 1; i < lines.size() - (xml ? 1 : 0); ++i) {
        if (!(xml ? volumes.AddVehicleElement(lines[i], error) : volumes.AddVehicleLine(lines[i], error))) {
            error = sequential + ":" + std::to_string(i + 1) + ": " + error;
            return false;
        }
    }
    if (volumes.WithoutTime() != 0) {
        error = sequential + ": " + std::to_string(volumes.WithoutTime()) + " of " +
                std::to_string(volumes.Vehicles(false) + volumes.Vehicles(true)) +
                " vehicles have no time stamp (0-00-00 00:00:00.000), so their hours cannot be known; refusing to "
                "write volumes that would be short";
        return false;
    }
    return true;
}

}  // namespace tallyx::cli

#include "study/study_file.h"

#include <tallyx/tallyx.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>

#include "study/civil_time.h"

namespace tallyx::study {

namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

const std::vector<StudyKey>& StudyKeys() {
    static const std::vector<StudyKey> keys = {
        {"begin", PROPERTY_STUDY_BEGINDATETIME, "study begin, YYYY-MM-DD hh:mm[:ss], local time"},
        {"end", PROPERTY_STUDY_ENDDATETIME, "study end, YYYY-MM-DD hh:mm[:ss], local time"},
        {"period", PROPERTY_STUDY_PERIODTIME, "period length in minutes, 1 to 240"},
        {"units", nullptr, "us (mph and ft) or metric (km/h and dm) for the bins and the speed limit"},
        {"speed-bins", PROPERTY_STUDY_SPEEDBINS, "increasing speed bin limits, such as 20 30 40 50 60"},
        {"length-bins", PROPERTY_STUDY_LENGTHBINS, "increasing length bin limits, such as 20 40"},
        {"speed-limit", PROPERTY_STUDY_SPEEDLIMIT, "the posted speed limit"},
        {"state", PROPERTY_STUDY_STATE, "site text: state (2 characters)"},
        {"city", PROPERTY_STUDY_CITY, "site text: city (32 characters)"},
        {"county", PROPERTY_STUDY_COUNTY, "site text: county (32 characters)"},
        {"address", PROPERTY_STUDY_ADDRESS, "site text: street address (32 characters)"},
        {"lane", PROPERTY_STUDY_LANE, "site text: lane or direction (16 characters)"},
        {"operator", PROPERTY_STUDY_OPERATOR, "site text: operator initials (2 characters)"},
    };
    return keys;
}

std::string CanonicalStudyKey(const std::string& key) {
    std::string canonical;
    for (char c : Trim(key)) canonical += c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const StudyKey& known : StudyKeys()) {
        if (canonical == known.key) return canonical;
    }
    return "";
}

bool StudySettings::Set(const std::string& key, const std::string& value, const std::string& origin,
                        std::string& error) {
    const std::string canonical = CanonicalStudyKey(key);
    if (canonical.empty()) {
        error = origin + ": unknown key '" + Trim(key) + "'";
        return false;
    }
    values_[canonical] = StudyValue{value, origin};
    return true;
}

bool StudySettings::Load(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::map<std::string, std::string> seen;
    unsigned number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::string where = path + ":" + std::to_string(number);
        const std::string text = Trim(line);
        if (text.empty() || text[0] == '#') continue;
        const size_t equals = text.find('=');
        if (equals == std::string::npos) {
            error = where + ": expected key = value, found '" + text + "'";
            return false;
        }
        const std::string key = CanonicalStudyKey(text.substr(0, equals));
        if (!key.empty() && seen.count(key) != 0) {
            error = where + ": '" + key + "' was already given on " + seen[key];
            return false;
        }
        if (!Set(text.substr(0, equals), Trim(text.substr(equals + 1)), where, error)) return false;
        seen[key] = "line " + std::to_string(number);
    }
    return true;
}

const StudyValue* StudySettings::Find(const std::string& key) const {
    const auto found = values_.find(key);
    return found == values_.end() ? nullptr : &found->second;
}

std::string StudySettings::Render(const std::map<std::string, std::string>& values, const std::string& heading) {
    std::string text = "# " + heading + "\n# tallyx program --study FILE programs this study again; change begin and end first.\n";
    for (const StudyKey& key : StudyKeys()) {
        const auto found = values.find(key.key);
        if (found != values.end()) text += std::string(key.key) + " = " + found->second + "\n";
    }
    return text;
}

bool NormaliseStudyTime(const std::string& text, std::string& normalised, long long& sortKey) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    char rest = 0;
    const std::string trimmed = Trim(text);
    int fields = std::sscanf(trimmed.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d%c", &year, &month, &day, &hour, &minute,
                             &second, &millisecond, &rest);
    if ((fields == 5 && trimmed.size() != 16) || (fields == 6 && trimmed.size() != 19)) return false;
    if (fields < 5 || fields == 8) return false;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        year < 2000) {
        return false;
    }
    char out[80];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day, hour, minute, second,
                  millisecond);
    normalised = out;
    sortKey = (((((static_cast<long long>(year) * 12 + month) * 31 + day) * 24 + hour) * 60 + minute) * 60 + second) *
                  1000 +
              millisecond;
    return true;
}

}  // namespace tallyx::study

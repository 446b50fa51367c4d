#pragma once
// The study file: the settings of a study as one "key = value" per line.
//
//   # A week on Main Street
//   begin = 2027-03-01 00:00
//   end = 2027-03-08 00:00
//   period = 15
//   speed-bins = 20 30 40 50 60
//   length-bins = 20 40
//   units = us
//   state = OH
//   city = Oak Park
//
// Keys are matched ignoring case, with "_" the same as "-"; "#" starts a
// comment line; blank lines are ignored; spaces around keys and values are
// dropped. Every key may appear once.
#include <map>
#include <string>
#include <vector>

namespace tallyx::study {

struct StudyKey {
    const char* key;
    const char* property;  // the library property it sets; null for units
    const char* help;
};

// Every key, in the order a study file is written.
const std::vector<StudyKey>& StudyKeys();

// One setting and where it came from ("study.conf:3" or "--begin").
struct StudyValue {
    std::string value;
    std::string origin;
};

class StudySettings {
public:
    // Reads a study file; false with "FILE:LINE: reason" in error.
    bool Load(const std::string& path, std::string& error);
    // Sets one key (an option wins over the file); false for an unknown key.
    bool Set(const std::string& key, const std::string& value, const std::string& origin, std::string& error);

    const std::map<std::string, StudyValue>& Values() const { return values_; }
    const StudyValue* Find(const std::string& key) const;

    // The file text for the values given, in key order.
    static std::string Render(const std::map<std::string, std::string>& values, const std::string& heading);

private:
    std::map<std::string, StudyValue> values_;
};

// The key in its written form ("speed-bins"), or "" when it is no key.
std::string CanonicalStudyKey(const std::string& key);

// A date and time as the library takes it, "YYYY-MM-DD hh:mm:ss.mmm", from
// "YYYY-MM-DD hh:mm", "YYYY-MM-DD hh:mm:ss" or the full form.
// False when the text is not of that form or names no real date and time.
bool NormaliseStudyTime(const std::string& text, std::string& normalised, long long& sortKey);

}  // namespace tallyx::study

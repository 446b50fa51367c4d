#include "study/folder_loader.h"

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

#include "json/json_value.h"
#include "platform/files.h"
#include "study/record_reader.h"

namespace tallyx::study {

namespace {

namespace fs = std::filesystem;

// A settings file of a few fields; anything far larger is not one.
constexpr uintmax_t kMostSettingsBytes = 1 << 20;

std::string Join(const std::string& folder, std::string_view name) { return JoinPath(folder, std::string(name)); }

bool IsFile(const std::string& path) {
    std::error_code failure;
    return fs::is_regular_file(path, failure);
}

bool Exists(const std::string& path) {
    std::error_code failure;
    return fs::exists(path, failure);
}

// The lines of a file written whole: false when its last line has no line end.
bool SplitLines(const std::string& path, const std::string& text, std::vector<std::string_view>& lines,
                std::string& error) {
    if (text.empty()) return true;
    if (text.back() != '\n') {
        error = path + " is cut off in the middle of a line: its last line has no line end";
        return false;
    }
    lines.reserve(text.size() / 40);
    for (std::string_view rest(text); !rest.empty();) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        rest.remove_prefix(end + 1);
    }
    return true;
}

bool LoadSettingsJson(const std::string& path, Study& study, std::string& error) {
    std::error_code failure;
    const uintmax_t size = fs::file_size(path, failure);
    std::string text;
    if (failure || size > kMostSettingsBytes || !ReadWholeFile(path, text)) {
        error = path + (failure ? " cannot be read" : size > kMostSettingsBytes ? " is far too large for the settings of a read" : " cannot be read");
        return false;
    }
    json::Value root;
    std::string parseError;
    if (!json::Parse(text, root, parseError)) {
        error = path + " is not the settings of a read: " + parseError;
        return false;
    }
    const json::Value* studyObject = root.IsObject() ? root.Find("study") : nullptr;
    if (studyObject == nullptr || !studyObject->IsObject()) {
        error = path + " does not hold the study settings of a read: it was not written by tallyx read";
        return false;
    }
    const json::Value* unitObject = root.Find("unit");
    study.port = root.Text("port");
    for (const SettingField& field : SettingFields()) {
        const json::Value* group = field.group == SettingGroup::kStudy ? studyObject : unitObject;
        if (group != nullptr && group->IsObject()) study.SetSetting(field.key, group->Text(field.name));
    }
    return true;
}

// "Label: value" lines; the value of the first line with each label.
void LoadStudyText(const std::string& text, Study& study) {
    std::vector<bool> seen(kSettingCount, false);
    for (std::string_view rest(text); !rest.empty();) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        for (const SettingField& field : SettingFields()) {
            if (field.label == nullptr || seen[static_cast<size_t>(field.key)]) continue;
            const std::string_view label(field.label);
            if (line.size() >= label.size() + 2 && line.substr(0, label.size()) == label &&
                line.substr(label.size(), 2) == ": ") {
                study.SetSetting(field.key, std::string(line.substr(label.size() + 2)));
                seen[static_cast<size_t>(field.key)] = true;
            }
        }
    }
}

// The counter's serial number and unit type from tallyread's kvd.dat, which
// holds the answers to the counter's text fields (":X:7" and ":X:8").
void LoadKvdIdentity(const std::string& path, Study& study) {
    std::string text;
    if (!ReadWholeFile(path, text)) return;
    for (std::string_view rest(text); !rest.empty();) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.substr(0, 4) == ":X:7" && study.Setting(SettingKey::kSerialNumber).empty())
            study.SetSetting(SettingKey::kSerialNumber, std::string(line.substr(4)));
        if (line.substr(0, 4) == ":X:8" && study.Setting(SettingKey::kUnitType).empty())
            study.SetSetting(SettingKey::kUnitType, std::string(line.substr(4)));
    }
}

bool LoadVehicles(const std::string& path, bool xml, RecordReader& reader, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        error = path + " cannot be read";
        return false;
    }
    if (text.empty()) {
        error = path + " is empty: it is not the vehicle file of a read";
        return false;
    }
    std::vector<std::string_view> lines;
    if (!SplitLines(path, text, lines, error)) return false;
    const bool framed = xml ? lines.size() >= 2 && lines[0].substr(0, 5) == "<?xml" &&
                                  lines[1] == "<" + std::string(kVehicleRoot) + ">"
                            : lines[0] == kVehicleHeader;
    if (!framed) {
        error = path + (xml ? " does not begin with the SequentialRecords root"
                            : " does not begin with the line " + std::string(kVehicleHeader)) +
                ": it is not the vehicle file of a read";
        return false;
    }
    if (xml && (lines.size() < 3 || lines.back() != "</" + std::string(kVehicleRoot) + ">")) {
        error = path + " is cut off: the SequentialRecords root is not closed";
        return false;
    }
    const size_t last = lines.size() - (xml ? 1 : 0);
    for (size_t i = xml ? 2 : 1; i < last; ++i) {
        if (!(xml ? reader.AddVehicleXml(lines[i], error) : reader.AddVehicleCsv(lines[i], error))) {
            error = path + ":" + std::to_string(i + 1) + ": " + error;
            return false;
        }
    }
    return true;
}

bool LoadPeriods(const std::string& path, bool xml, RecordReader& reader, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        error = path + " cannot be read";
        return false;
    }
    std::vector<std::string_view> lines;
    if (!SplitLines(path, text, lines, error)) return false;
    if (lines.empty()) return true;  // a read without periods may leave the file empty
    if (xml) {
        if (lines.size() < 2 || lines[0].substr(0, 5) != "<?xml" || lines[1] != "<" + std::string(kPeriodRoot) + ">") {
            error = path + " does not begin with the PeriodicRecords root: it is not the period file of a read";
            return false;
        }
        if (lines.size() < 3 || lines.back() != "</" + std::string(kPeriodRoot) + ">") {
            error = path + " is cut off: the PeriodicRecords root is not closed";
            return false;
        }
    } else if (!reader.SetPeriodHeader(lines[0], error)) {
        error = path + " " + error + ": it is not the period file of a read";
        return false;
    }
    const size_t last = lines.size() - (xml ? 1 : 0);
    for (size_t i = xml ? 2 : 1; i < last; ++i) {
        if (!(xml ? reader.AddPeriodXml(lines[i], error) : reader.AddPeriodCsv(lines[i], error))) {
            error = path + ":" + std::to_string(i + 1) + ": " + error;
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& text) {
    if (!IsFile(path)) return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    text.clear();
    char chunk[1 << 16];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

bool LoadFolder(const std::string& given, Study& study, std::string& error) {
    study = Study{};
    std::error_code failure;
    if (!fs::is_directory(given, failure)) {
        error = given + (Exists(given) ? " is not a folder" : ": no such folder");
        return false;
    }
    std::string folder = given;
    if (IsFile(Join(folder, kSettingsFile))) {
        if (!LoadSettingsJson(Join(folder, kSettingsFile), study, error)) return false;
        std::string units = study.Setting(SettingKey::kUnits);
        for (char& c : units) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        study.metric = units.size() >= 6 && units.compare(units.size() - 6, 6, "METRIC") == 0;
    } else {
        if (!IsFile(Join(folder, kStudyTextFile)) && IsFile(Join(Join(folder, "data"), kStudyTextFile)))
            folder = Join(folder, "data");
        std::string text;
        if (!ReadWholeFile(Join(folder, kStudyTextFile), text)) {
            error = given + " is not the folder of a read: it has neither settings.json (tallyx read) nor study.txt "
                            "(tallyread)";
            return false;
        }
        LoadStudyText(text, study);
        LoadKvdIdentity(Join(folder, kKvdFile), study);
        study.form = FolderForm::kTallyread;
    }

    const std::string csv = Join(folder, "sequential.csv"), xml = Join(folder, "sequential.xml");
    const bool isXml = !Exists(csv) && Exists(xml) && study.form != FolderForm::kTallyread;
    if (!Exists(csv) && !isXml) {
        error = folder + " has no sequential.csv" + (study.form == FolderForm::kTallyread ? "" : " or sequential.xml") +
                ": the read holds no vehicles";
        return false;
    }
    if (study.form != FolderForm::kTallyread) study.form = isXml ? FolderForm::kXml : FolderForm::kCsv;
    RecordReader reader(study);
    if (!LoadVehicles(isXml ? xml : csv, isXml, reader, error)) return false;
    const std::string periods = Join(folder, isXml ? "periodic.xml" : "periodic.csv");
    study.hasPeriodFile = Exists(periods);
    if (study.hasPeriodFile && !LoadPeriods(periods, isXml, reader, error)) return false;
    return true;
}

}  // namespace tallyx::study

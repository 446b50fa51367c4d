#include "study/folder_writer.h"

#include <map>

#include "json/json_value.h"
#include "study/study_file.h"

namespace tallyx::study {

namespace {

void AppendNumber(uint64_t value, std::string& out) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) out += digits[--n];
}

void AppendSigned(int64_t value, std::string& out) {
    if (value < 0) {
        out += '-';
        AppendNumber(static_cast<uint64_t>(-(value + 1)) + 1, out);
    } else {
        AppendNumber(static_cast<uint64_t>(value), out);
    }
}

void AppendChild(std::string_view name, std::string_view text, std::string& out) {
    out += '<';
    out += name;
    out += '>';
    out += text;
    out += "</";
    out += name;
    out += '>';
}

void AppendNumberChild(std::string_view name, int64_t value, std::string& out) {
    std::string text;
    AppendSigned(value, text);
    AppendChild(name, text, out);
}

}  // namespace

std::string SettingsJsonText(const Study& study) {
    auto object = [&study](SettingGroup group) {
        std::string text = "{\n";
        bool first = true;
        for (const SettingField& field : SettingFields()) {
            if (field.group != group) continue;
            text += std::string(first ? "" : ",\n") + "    " + json::Quote(field.name) + ": " +
                    json::Quote(study.Setting(field.key));
            first = false;
        }
        return text + "\n  }";
    };
    return "{\n  \"port\": " + json::Quote(study.port) + ",\n  \"unit\": " + object(SettingGroup::kUnit) +
           ",\n  \"study\": " + object(SettingGroup::kStudy) + "\n}\n";
}

std::map<std::string, std::string> StudyFileValues(const Study& study) {
    std::map<std::string, std::string> values;
    for (const StudyKey& key : StudyKeys()) {
        if (key.property == nullptr) continue;
        for (const SettingField& field : SettingFields()) {
            if (std::string_view(field.property) == key.property) values[key.key] = study.Setting(field.key);
        }
    }
    values["units"] = study.metric ? "metric" : "us";
    for (const char* time : {"begin", "end"}) values[time] = values[time].substr(0, 19);
    return values;
}

std::string StudyConfText(const Study& study) {
    return StudySettings::Render(StudyFileValues(study), "Study read from " + study.Setting(SettingKey::kSerialNumber) + " (" +
                                             study.Setting(SettingKey::kUnitType) + ")");
}

std::string StudyTextLines(const Study& study) {
    std::string text;
    for (const SettingKey key : StudyTextOrder()) {
        text += FieldOf(key).label;
        text += ": ";
        text += study.Setting(key);
        text += '\n';
    }
    return text;
}

void AppendVehicleCsv(const Study& study, const Vehicle& vehicle, std::string& out) {
    AppendTimeStamp(vehicle.time, out);
    out += ',';
    AppendNumber(vehicle.flags, out);
    out += ',';
    out += study.Descriptions()[vehicle.description];
    out += ',';
    AppendNumber(vehicle.speed, out);
    out += ',';
    AppendNumber(vehicle.length, out);
}

void AppendPeriodCsv(const Study& study, size_t index, std::string& out) {
    const Period& period = study.periods[index];
    AppendTimeStamp(period.end, out);
    out += ',';
    if (period.hasTemperature) AppendSigned(period.temperature, out);
    for (const uint32_t value : {period.occupancy, period.count, period.reverseCount}) {
        out += ',';
        AppendNumber(value, out);
    }
    const uint32_t* bins = study.BinsOf(index);
    for (size_t i = 0; i < size_t{study.binRows} * study.binColumns; ++i) {
        out += ',';
        AppendNumber(bins[i], out);
    }
}

std::string VehicleFileText(const Study& study, bool xml) {
    std::string text;
    text.reserve(study.vehicles.size() * (xml ? 160 : 44) + 128);
    if (xml) {
        text += "<?xml version=\"1.0\"?>\n<";
        text += kVehicleRoot;
        text += ">\n";
    } else {
        text += kVehicleHeader;
        text += '\n';
    }
    std::string time;
    for (const Vehicle& vehicle : study.vehicles) {
        if (!xml) {
            AppendVehicleCsv(study, vehicle, text);
            text += '\n';
            continue;
        }
        time.clear();
        AppendTimeStamp(vehicle.time, time);
        text += "<Sequential>";
        AppendChild(kVehicleColumns[0], time, text);
        AppendNumberChild(kVehicleColumns[1], vehicle.flags, text);
        AppendChild(kVehicleColumns[2], study.Descriptions()[vehicle.description], text);
        AppendNumberChild(kVehicleColumns[3], vehicle.speed, text);
        AppendNumberChild(kVehicleColumns[4], vehicle.length, text);
        text += "</Sequential>\n";
    }
    if (xml) {
        text += "</";
        text += kVehicleRoot;
        text += ">\n";
    }
    return text;
}

std::string PeriodFileText(const Study& study, bool xml) {
    std::string text;
    if (xml) {
        text += "<?xml version=\"1.0\"?>\n<";
        text += kPeriodRoot;
        text += ">\n";
    } else {
        text += kPeriodHeader;
        for (uint32_t s = 1; s <= study.binRows; ++s) {
            for (uint32_t l = 1; l <= study.binColumns; ++l) {
                text += ",Bin_";
                AppendNumber(s, text);
                text += '_';
                AppendNumber(l, text);
            }
        }
        text += '\n';
    }
    for (size_t i = 0; i < study.periods.size(); ++i) {
        if (!xml) {
            AppendPeriodCsv(study, i, text);
            text += '\n';
            continue;
        }
        const Period& period = study.periods[i];
        std::string time;
        AppendTimeStamp(period.end, time);
        text += "<Periodic>";
        AppendChild(kPeriodColumns[0], time, text);
        if (period.hasTemperature) AppendNumberChild(kPeriodColumns[1], period.temperature, text);
        AppendNumberChild(kPeriodColumns[2], period.occupancy, text);
        AppendNumberChild(kPeriodColumns[3], period.count, text);
        AppendNumberChild(kPeriodColumns[4], period.reverseCount, text);
        text += "<Bin>";
        const uint32_t* bins = study.BinsOf(i);
        for (uint32_t s = 0; s < study.binRows; ++s) {
            const std::string row = std::to_string(s + 1);
            text += "<" + row + ">";
            for (uint32_t l = 0; l < study.binColumns; ++l)
                AppendNumberChild(std::to_string(l + 1), bins[size_t{s} * study.binColumns + l], text);
            text += "</" + row + ">";
        }
        text += "</Bin></Periodic>\n";
    }
    if (xml) {
        text += "</";
        text += kPeriodRoot;
        text += ">\n";
    }
    return text;
}

}  // namespace tallyx::study

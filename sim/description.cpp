#include "description.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim_models.h"

namespace tallysim {

namespace {

std::string Trim(const std::string& text) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return text.substr(b, e - b);
}

std::string Lower(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool ParseBool(const std::string& value, bool& out) {
    const std::string v = Lower(value);
    if (v == "yes" || v == "true" || v == "on" || v == "1") {
        out = true;
        return true;
    }
    if (v == "no" || v == "false" || v == "off" || v == "0") {
        out = false;
        return true;
    }
    return false;
}

// A decimal number, or hexadecimal with 0x.
bool ParseInteger(const std::string& value, uint64_t& out) {
    if (value.empty()) return false;
    const bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
    const std::string digits = hex ? value.substr(2) : value;
    if (digits.empty() || digits.size() > 18) return false;
    for (char c : digits)
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c))))
            return false;
    out = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    return true;
}

// A share: 0.12 or 12%.
bool ParseShare(const std::string& value, double& out) {
    std::string v = value;
    bool percent = false;
    if (!v.empty() && v.back() == '%') {
        percent = true;
        v.pop_back();
    }
    if (v.empty()) return false;
    char* end = nullptr;
    errno = 0;
    double d = std::strtod(v.c_str(), &end);
    if (errno != 0 || end != v.c_str() + v.size()) return false;
    if (percent) d /= 100.0;
    if (!(d >= 0.0 && d <= 1.0)) return false;
    out = d;
    return true;
}

bool ParseDouble(const std::string& value, double& out) {
    char* end = nullptr;
    errno = 0;
    const double d = std::strtod(value.c_str(), &end);
    if (value.empty() || errno != 0 || end != value.c_str() + value.size()) return false;
    out = d;
    return true;
}

struct KeyInfo {
    const char* key;
    const char* help;
};

const KeyInfo kKeys[] = {
    {"serial", "serial number text"},
    {"unittype", "unit type text; by default the name of the model (ZK110, ZK220, ...)"},
    {"firmware", "firmware revision text"},
    {"battery", "battery voltage, decimal text (4.05)"},
    {"batteryform", "model A battery answer: voltage | raw | none (none: only the legacy raw reading)"},
    {"batteryraw", "model A raw battery reading (decimal or 0x hex); 0 derives it from the voltage"},
    {"acr", "model A accumulated charge register text (fields separated by _), empty for none"},
    {"batterypercent", "model B battery charge in percent"},
    {"discharge", "has a battery discharge circuit: yes | no (without, the discharge command is refused)"},
    {"dateencodingsupport", "model A accepts the date encoding setting: yes | no"},
    {"begin", "study begin, YYYY-MM-DD hh:mm[:ss]"},
    {"end", "study end, YYYY-MM-DD hh:mm[:ss]"},
    {"period", "study period in minutes"},
    {"speedbins", "speed bin limits, mph (20 30 40)"},
    {"lengthbins", "length bin limits, ft (20 40)"},
    {"state", "site text: state"},
    {"city", "site text: city"},
    {"county", "site text: county"},
    {"street", "site text: street"},
    {"direction", "site text: direction or lane"},
    {"speedlimit", "site text: speed limit (mph; also centres the generated speeds)"},
    {"operator", "site text: operator initials"},
    {"fcode", "model A finish code: done | running | waiting | a number (decimal or 0x hex; 11-13 run)"},
    {"completioncode", "model A finish code a running study reports once its end is reached"},
    {"erasefinishcode", "model A finish code reported right after an erase (default 0; other codes fail the erase)"},
    {"dateencoding", "model A records carry the day of the month: yes | no"},
    {"reversebins", "model A reverse bins setting text"},
    {"statecode", "model B study state code (1-3: running)"},
    {"studytype", "model B study type word"},
    {"recordsize", "model B bytes per binary record reported (the records are always 8 bytes)"},
    {"version", "model B user-area version text"},
    {"userarea", "model B whole user-area document; empty: built from the study fields"},
    {"userareablock", "model B characters of the user area stored per block (default 235)"},
    {"studyinfo", "model B GETSTUDYINFO data line sent as it stands (any text); empty: built from the study"},
    {"clock", "counter clock at start: YYYY-MM-DD hh:mm:ss or now"},
    {"vehicles", "number of generated vehicles, or full (model A: the whole flash; model B: a million)"},
    {"seed", "seed of the traffic generator"},
    {"speedspread", "standard deviation of speeds, mph"},
    {"trucks", "share of trucks (0.12 or 12%)"},
    {"reverse", "share of vehicles in the reverse direction"},
    {"unclassified", "share of unclassified vehicles"},
    {"stopped", "share of stopped vehicles"},
    {"nolength", "model A share of vehicles without a length"},
    {"invalid", "model A share of records stored invalid"},
    {"outofsequence", "model A share of records stamped earlier than the one before"},
    {"implausible", "share of records with an implausible speed or length"},
    {"highflagbits", "model B share of records with the top three flag bits set"},
    {"hundredths", "model B share of records whose fraction bytes are hundredths"},
    {"temperature", "model A mean temperature, degrees Celsius"},
    {"zerooffsets", "model A: every k-th periodic record is stored with end offset 0 (0: none)"},
};

}  // namespace

std::vector<uint32_t> BinNumbers(const std::string& text) {
    std::vector<uint32_t> numbers;
    uint64_t value = 0;
    bool inNumber = false;
    for (size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : '\0';
        if (std::isdigit(static_cast<unsigned char>(c))) {
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > 0xFFFFFFFFull) value = 0xFFFFFFFFull;
            inNumber = true;
        } else if (inNumber) {
            numbers.push_back(static_cast<uint32_t>(value));
            value = 0;
            inNumber = false;
        }
    }
    return numbers;
}

Description Description::Defaults(Model model) {
    Description d;
    d.model = model;
    const SimModel& row = SimModelOf(model);
    auto& dev = d.device;
    dev.serialNumber = row.serialNumber;
    dev.unitType = row.info->name;
    dev.firmware = row.firmware;
    dev.batteryVoltage = row.batteryVoltage;
    dev.acr = row.acr;
    dev.batteryPercent = row.batteryPercent;
    auto& s = d.study;
    s.begin = SimDateTime{2009, 3, 2, 0, 0, 0, 0};
    s.end = SimDateTime{2009, 3, 3, 0, 0, 0, 0};
    s.periodMinutes = 15;
    s.speedBins = "20 25 30 35 40 45 50 55 60";
    s.lengthBins = "20 30 40 50";
    s.state = "MN";
    s.city = "Springfield";
    s.county = "Clark";
    s.street = "Main St";
    s.direction = "NB";
    s.speedLimit = "35";
    s.operatorInitials = "JD";
    return d;
}

bool Description::Set(const std::string& rawKey, const std::string& rawValue, std::string* error) {
    std::string key;
    for (char c : Lower(Trim(rawKey)))
        if (c != '_' && c != '-') key += c;
    const std::string value = Trim(rawValue);
    auto bad = [&](const std::string& why) {
        if (error) *error = "key \"" + rawKey + "\": " + why;
        return false;
    };
    auto& dev = device;
    auto& s = study;
    auto& t = traffic;
    uint64_t number = 0;
    if (key == "serial") dev.serialNumber = value;
    else if (key == "unittype") dev.unitType = value;
    else if (key == "firmware") dev.firmware = value;
    else if (key == "battery") dev.batteryVoltage = value;
    else if (key == "batteryform") {
        const std::string v = Lower(value);
        if (v == "voltage") dev.batteryForm = BatteryForm::Voltage;
        else if (v == "raw") dev.batteryForm = BatteryForm::Raw;
        else if (v == "none") dev.batteryForm = BatteryForm::None;
        else return bad("expected voltage, raw or none");
    } else if (key == "batteryraw") {
        if (!ParseInteger(value, number) || number > 0xFFFF) return bad("expected a number up to 0xFFFF");
        dev.batteryRaw = static_cast<unsigned>(number);
    } else if (key == "acr") dev.acr = value;
    else if (key == "batterypercent") dev.batteryPercent = value;
    else if (key == "discharge") {
        if (!ParseBool(value, dev.dischargeCircuit)) return bad("expected yes or no");
    } else if (key == "dateencodingsupport") {
        if (!ParseBool(value, dev.dateEncodingSupported)) return bad("expected yes or no");
    } else if (key == "begin" || key == "end" || key == "clock") {
        if (key == "clock" && Lower(value) == "now") {
            s.clockGiven = false;
            return true;
        }
        const auto time = SimDateTime::Parse(value);
        if (!time) return bad("expected YYYY-MM-DD hh:mm[:ss[.mmm]]");
        if (key == "begin") s.begin = *time;
        else if (key == "end") s.end = *time;
        else {
            s.clock = *time;
            s.clockGiven = true;
        }
    } else if (key == "period") {
        if (!ParseInteger(value, number) || number == 0 || number > 0xFFFF) return bad("expected minutes, 1 or more");
        s.periodMinutes = static_cast<unsigned>(number);
    } else if (key == "speedbins") s.speedBins = value;
    else if (key == "lengthbins") s.lengthBins = value;
    else if (key == "state") s.state = value;
    else if (key == "city") s.city = value;
    else if (key == "county") s.county = value;
    else if (key == "street") s.street = value;
    else if (key == "direction") s.direction = value;
    else if (key == "speedlimit") s.speedLimit = value;
    else if (key == "operator") s.operatorInitials = value;
    else if (key == "fcode" || key == "completioncode" || key == "erasefinishcode") {
        const std::string v = Lower(value);
        unsigned code = 0;
        if (v == "done") code = 40;  // "28" on the wire: the code the counter gives a finished study
        else if (v == "running") code = 12;
        else if (v == "waiting") code = 11;
        else if (ParseInteger(value, number) && number <= 0xFFFFFFFFull) code = static_cast<unsigned>(number);
        else return bad("expected done, running, waiting or a number");
        (key == "fcode" ? s.finishCode : key == "completioncode" ? s.completionCode : s.eraseFinishCode) = code;
    } else if (key == "dateencoding") {
        if (!ParseBool(value, s.dateEncoding)) return bad("expected yes or no");
    } else if (key == "reversebins") s.reverseBins = value;
    else if (key == "statecode") {
        if (!ParseInteger(value, number) || number > 0x7FFFFFFF) return bad("expected a number");
        s.stateCode = static_cast<int>(number);
    } else if (key == "studytype") {
        if (value.empty() || value.find(' ') != std::string::npos) return bad("expected one word");
        s.studyType = value;
    } else if (key == "recordsize") {
        if (!ParseInteger(value, number) || number == 0 || number > 64) return bad("expected 1 to 64");
        s.recordSize = static_cast<unsigned>(number);
    } else if (key == "version") s.version = value;
    else if (key == "userarea") s.userArea = value;
    else if (key == "userareablock") {
        if (!ParseInteger(value, number) || number == 0 || number > 4000) return bad("expected 1 to 4000");
        s.userAreaBlockSize = static_cast<unsigned>(number);
    } else if (key == "studyinfo") s.studyInfo = value;
    else if (key == "vehicles") {
        if (Lower(value) == "full") t.vehicles = TrafficDescription::kFullFlash;
        else if (!ParseInteger(value, number) || number > 50'000'000) return bad("expected a count or full");
        else t.vehicles = number;
    } else if (key == "seed") {
        if (!ParseInteger(value, number)) return bad("expected a number");
        t.seed = number;
    } else if (key == "speedspread") {
        if (!ParseDouble(value, t.speedSpreadMph) || t.speedSpreadMph < 0 || t.speedSpreadMph > 50)
            return bad("expected 0 to 50 mph");
    } else if (key == "temperature") {
        if (!ParseDouble(value, t.temperatureC) || t.temperatureC < -60 || t.temperatureC > 60)
            return bad("expected -60 to 60");
    } else if (key == "zerooffsets") {
        if (!ParseInteger(value, number) || number > 100000) return bad("expected a number");
        t.zeroOffsetEvery = static_cast<unsigned>(number);
    } else {
        double* share = nullptr;
        if (key == "trucks") share = &t.truckShare;
        else if (key == "reverse") share = &t.reverseShare;
        else if (key == "unclassified") share = &t.unclassifiedShare;
        else if (key == "stopped") share = &t.stoppedShare;
        else if (key == "nolength") share = &t.noLengthShare;
        else if (key == "invalid") share = &t.invalidShare;
        else if (key == "outofsequence") share = &t.outOfSequenceShare;
        else if (key == "implausible") share = &t.implausibleShare;
        else if (key == "highflagbits") share = &t.highFlagBitsShare;
        else if (key == "hundredths") share = &t.fractionHundredthsShare;
        if (!share) return bad("unknown key");
        if (!ParseShare(value, *share)) return bad("expected a share between 0 and 1 (or 0% to 100%)");
    }
    return true;
}

bool Description::Parse(const std::string& text, std::string* error) {
    std::istringstream lines(text);
    std::string line;
    unsigned number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        size_t separator = line.find('=');
        if (separator == std::string::npos) separator = line.find(':');
        if (separator == std::string::npos) {
            if (error) *error = "line " + std::to_string(number) + ": expected key = value";
            return false;
        }
        std::string why;
        if (!Set(line.substr(0, separator), line.substr(separator + 1), &why)) {
            if (error) *error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    return true;
}

bool Description::ParseFile(const std::string& path, std::string* error) {
    std::ifstream file(path);
    if (!file) {
        if (error) *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::stringstream content;
    content << file.rdbuf();
    std::string why;
    if (!Parse(content.str(), &why)) {
        if (error) *error = path + ": " + why;
        return false;
    }
    return true;
}

std::string Description::KeyHelp() {
    std::string text;
    for (const auto& k : kKeys) {
        char line[256];
        std::snprintf(line, sizeof line, "  %-20s %s\n", k.key, k.help);
        text += line;
    }
    return text;
}

}  // namespace tallysim

#include "model_a_counter.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "model_a_flash.h"
#include "model_a_frame.h"
#include "random.h"
#include "sim_models.h"
#include "traffic_generator.h"

namespace tallysim {

namespace {

constexpr size_t kMaxFrame = 1024;

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

// YYMMDDhhmmss
std::string ClockText(const SimDateTime& t) {
    char text[32];
    // The counter keeps a two-digit year.
    std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02d", ((t.year - 2000) % 100 + 100) % 100, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

// YYMMDDhhmm or YYMMDDhhmmss.
bool ParseClockDigits(const std::string& text, bool allowMinutesOnly, SimDateTime& out) {
    if (!(text.size() == 12 || (allowMinutesOnly && text.size() == 10))) return false;
    for (char c : text)
        if (!IsDigit(c)) return false;
    auto pair = [&](size_t i) { return (text[i] - '0') * 10 + (text[i + 1] - '0'); };
    SimDateTime t;
    t.year = 2000 + pair(0);
    t.month = pair(2);
    t.day = pair(4);
    t.hour = pair(6);
    t.minute = pair(8);
    t.second = text.size() == 12 ? pair(10) : 0;
    t.millisecond = 0;
    if (!t.IsValid()) return false;
    out = t;
    return true;
}

bool ParseHexNumber(const std::string& text, unsigned& out) {
    if (text.empty() || text.size() > 8) return false;
    for (char c : text)
        if (!IsHex(c)) return false;
    out = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 16));
    return true;
}

bool ParseDecimal(const std::string& text, unsigned& out) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text)
        if (!IsDigit(c)) return false;
    out = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

// A bin list of decimal numbers written the way a program sends it to the counter: every number
// in hexadecimal, every other character as it is.
std::string DecimalBinsToHex(const std::string& decimal) {
    std::string out;
    std::string digits;
    for (size_t i = 0; i <= decimal.size(); ++i) {
        const char c = i < decimal.size() ? decimal[i] : '\0';
        if (IsDigit(c)) {
            digits += c;
            continue;
        }
        if (!digits.empty()) {
            out += Hex(static_cast<unsigned>(std::strtoul(digits.c_str(), nullptr, 10)));
            digits.clear();
        }
        if (c != '\0') out += c;
    }
    return out;
}

// Flag byte and stored measurements of a generated vehicle: whole numbers, and a flag for a
// vehicle without a length.
void StoreModelAVehicle(Vehicle& v, bool noLength, const TrafficDescription& /*traffic*/, Random& /*random*/) {
    v.flags = v.reverse ? kAReverse : kAForward;
    if (v.stopped) v.flags |= kAStopped;
    if (v.unclassified) v.flags |= kAUnclassified;
    if (noLength) v.flags |= kANoLength;
    v.speedWhole = RoundedByte(v.speedMph);
    v.lengthWhole = RoundedByte(v.lengthFt);
}

// Records stamped earlier than the one before, and invalid records.
void SpoilModelARecords(Study& study, const TrafficDescription& traffic, Random& random) {
    const int64_t beginMs = study.begin.ToMillis();
    for (size_t i = 0; i < study.vehicles.size(); ++i) {
        Vehicle& v = study.vehicles[i];
        // Stamped earlier than the record before: a clock that stepped back a little.
        if (i > 0 && !study.vehicles[i - 1].invalid && random.Chance(traffic.outOfSequenceShare)) {
            const int64_t previousSecond = study.vehicles[i - 1].timeMs / 1000 * 1000;
            const int64_t back = (1 + static_cast<int64_t>(random.Below(90))) * 1000;
            if (previousSecond - back >= beginMs) {
                v.timeMs = previousSecond - back + v.timeMs % 1000;
                v.outOfSequence = true;
            }
        }
        if (random.Chance(traffic.invalidShare)) {
            v.invalid = true;
            const auto good = EncodeModelARecord(v, study.dateEncoding);
            v.raw = {};
            if (study.dateEncoding && random.Chance(0.5)) {
                // The day bits were lost: a record without a day although the unit stamps days.
                v.raw[0] = good[0] & 0x1F;
                v.raw[1] = good[1] & 0x3F;
                v.raw[2] = good[2];
                v.raw[3] = good[3];
                v.raw[4] = good[4];
                v.raw[5] = good[5];
            } else {
                // A record whose writing was cut short: time and flags still erased.
                v.raw = {0xFF, 0xFF, good[2], 0xFF, good[4], good[5], 0, 0};
            }
            v.rawSize = 6;
        }
    }
}

std::unique_ptr<Counter> MakeModelA(const Description& description, const Study& study, FaultPlan* faults,
                                    unsigned eraseDelayMs) {
    return std::make_unique<ModelACounter>(description, study, faults, eraseDelayMs);
}

}  // namespace

extern const SimModel kModelASim;
constinit const SimModel kModelASim{
    .info = SharedModel("A"),
    .model = Model::A,
    .traits = "framed colon commands, flash pages",
    .makeCounter = MakeModelA,
    .serialNumber = "A1024-0042",
    .firmware = "3.12",
    .batteryVoltage = "4.05",
    .acr = "2000_1800_0_2000",
    .batteryPercent = "",
    .recordCapacity = kARecordCapacity,
    .fullStudyVehicles = kARecordCapacity,
    .recordSpanMs = 0,
    .periodicCapacity = kAPeriodicCapacity,
    .datedRecords = true,
    .lengthlessRecords = true,
    .zeroOffsets = true,
    .storeVehicle = StoreModelAVehicle,
    .spoilRecords = SpoilModelARecords,
};

ModelACounter::ModelACounter(const Description& description, const Study& study, FaultPlan* faults,
                             unsigned eraseDelayMs)
    : Counter(faults),
      device_(description.device),
      completionCode_(description.study.completionCode),
      eraseFinishCode_(description.study.eraseFinishCode),
      eraseDelayMs_(eraseDelayMs),
      finishCode_(description.study.finishCode),
      begin_(study.begin),
      end_(study.end),
      periodMinutes_(study.periodMinutes),
      dateEncoding_(study.dateEncoding) {
    const auto& s = description.study;
    const int64_t span = end_.ToMillis() - begin_.ToMillis();
    rangeMinutes_ = span > 0 ? static_cast<unsigned>(span / 60000) : 0;
    if (s.clockGiven) {
        clock_.Set(s.clock);
    } else if (finishCode_ >= 11 && finishCode_ <= 13) {
        // A running study: the clock stands inside it, an hour before its end.
        const int64_t hourBeforeEnd = end_.ToMillis() - 3'600'000;
        clock_.Set(SimDateTime::FromMillis(std::max(begin_.ToMillis(), hourBeforeEnd)));
    }
    settings_[":X:0"] = " " + s.state;
    settings_[":X:1"] = " " + s.city;
    settings_[":X:2"] = " " + s.county;
    settings_[":X:3"] = " " + s.street;
    settings_[":X:4"] = " " + s.direction;
    settings_[":X:5"] = " " + s.speedLimit;
    settings_[":X:6"] = " " + s.operatorInitials;
    settings_[":S"] = DecimalBinsToHex(s.speedBins);
    settings_[":L"] = DecimalBinsToHex(s.lengthBins);
    settings_[":G"] = s.reverseBins;
    settings_[":Q"] = dateEncoding_ ? ":s" : "";
    flash_.Load(study);
}

std::string ModelACounter::WakeupLine(WakeupFault fault) const {
    switch (fault) {
        case WakeupFault::None: return "READY\r";
        case WakeupFault::Wrong: return "RESET\r";
        case WakeupFault::LowerCase: return "ready\r";
        case WakeupFault::ControlByte: return std::string("REA\x01" "DY\r");
        case WakeupFault::Missing: return "";
        case WakeupFault::Long: return std::string(1100, 'W') + "READY\r";
        case WakeupFault::Endless: return std::string(1024, 'W');
    }
    return "READY\r";
}

std::string ModelACounter::RenderBins(const std::string& raw) {
    std::string out;
    std::string digits;
    char lastSeparator = ' ';
    for (size_t i = 0; i <= raw.size(); ++i) {
        const char c = i < raw.size() ? raw[i] : '\0';
        if (IsHex(c)) {
            digits += c;
            continue;
        }
        if (!digits.empty()) {
            char text[16];
            std::snprintf(text, sizeof text, "%02X",
                          static_cast<unsigned>(std::strtoul(digits.substr(0, 8).c_str(), nullptr, 16)));
            out += text;
            digits.clear();
        }
        if (c != '\0') {
            out += c;
            lastSeparator = c;
        }
    }
    if (!out.empty() && !(out.back() == lastSeparator && !IsHex(out.back()))) out += lastSeparator;
    return out + "00";
}

void ModelACounter::Receive(std::string_view bytes, LineOutput& out) {
    for (char c : bytes) {
        if (c == '\r') {
            std::string frame;
            frame.swap(input_);
            // A line feed left over from elsewhere is not part of a command.
            size_t start = 0;
            while (start < frame.size() && frame[start] == '\n') ++start;
            frame.erase(0, start);
            if (!frame.empty()) HandleFrame(frame, out);
            continue;
        }
        if (input_.size() >= kMaxFrame) {
            Error("frame longer than " + std::to_string(kMaxFrame) + " bytes without a carriage return; dropped");
            input_.clear();
        }
        input_ += c;
    }
}

void ModelACounter::HandleFrame(const std::string& frame, LineOutput& out) {
    const ModelAFrame parsed = ParseModelAFrame(frame);
    if (!parsed.valid) {
        // The counter ignores a frame it cannot trust.
        Error("bad frame \"" + frame + "\": " + parsed.problem);
        return;
    }
    const std::string& command = parsed.text;
    const FaultDecision decision = Note(command);
    Reply reply;
    if (decision.refuse) {
        reply.text = ":N";
    } else if (decision.replace) {
        reply.text = decision.replacement;
    } else {
        reply = Execute(command);
    }
    if (reply.none) return;
    std::string bytes;
    if (reply.page) {
        FlashPage page = reply.pageBytes;
        if (decision.garble) {
            page[256] ^= 0xFF;
            page[257] ^= 0x0F;
        }
        bytes.assign(reinterpret_cast<const char*>(page.data()), page.size());
    } else {
        bytes = decision.garble ? GarbledModelAFrame(reply.text, decision.garbleForm) : FrameModelA(reply.text);
    }
    if (reply.delayMs > 0) out.Pause(reply.delayMs);
    Deliver(bytes, decision, out);
}

void ModelACounter::UpdateStudyState() {
    if (finishCode_ < 11 || finishCode_ > 13) return;
    const int64_t now = clock_.NowMillis();
    if (now >= end_.ToMillis()) finishCode_ = completionCode_;
    else if (finishCode_ == 11 && now >= begin_.ToMillis()) finishCode_ = 12;
}

unsigned ModelACounter::StudyState() {
    UpdateStudyState();
    return finishCode_;
}

unsigned ModelACounter::BatteryRaw() const {
    if (device_.batteryRaw != 0) return device_.batteryRaw;
    // The inverse of the usual conversion of a raw reading into volts,
    // v = (r - (188 - r) x 0.22) x 0.0129 x 1.6.
    const double volts = std::strtod(device_.batteryVoltage.c_str(), nullptr);
    const double r = (volts / (0.0129 * 1.6) + 188.0 * 0.22) / 1.22;
    return r > 0 && r < 65535 ? static_cast<unsigned>(r + 0.5) : 0;
}

std::string ModelACounter::BatteryAnswer() const {
    const unsigned raw = BatteryRaw();
    switch (device_.batteryForm) {
        case BatteryForm::Voltage: return ":b " + device_.batteryVoltage;
        case BatteryForm::Raw: return ":b" + Hex(raw);
        case BatteryForm::None: return ":b:N";
    }
    return ":b:N";
}

ModelACounter::Reply ModelACounter::Execute(const std::string& command) {
    UpdateStudyState();
    Reply reply;
    if (command == ":F") {
        reply.text = ":F> " + device_.firmware;
    } else if (command == ":b") {
        reply.text = BatteryAnswer();
    } else if (command == ":B") {
        reply.text = ":B" + Hex(BatteryRaw());
    } else if (command == ":J") {
        reply.text = device_.acr.empty() ? ":J" : ":J " + device_.acr;
    } else if (command == ":X") {
        flash_.Erase();
        finishCode_ = eraseFinishCode_;
        ++programming_.erases;
        programming_.writes.push_back(command);
        reply.text = ":Y";
        reply.delayMs = eraseDelayMs_;
    } else if (command == ":T") {
        finishCode_ = clock_.NowMillis() < begin_.ToMillis() ? 11 : 12;
        ++programming_.studyStarts;
        programming_.writes.push_back(command);
        reply.none = true;
    } else if (command == ":S:D") {
        if (device_.dischargeCircuit) {
            programming_.dischargeOn = true;
            ++programming_.dischargeStarts;
            programming_.writes.push_back(command);
            reply.text = ":Y";
        } else {
            reply.text = ":N";
        }
    } else if (command.rfind(":F:X,", 0) == 0) {
        reply = ReadPage(command.substr(5));
    } else if (command.rfind(":R", 0) == 0) {
        reply = ReadSetting(command.substr(2));
    } else if (command.rfind(":S", 0) == 0) {
        const std::string rest = command.substr(2);
        std::string key;
        if (rest.size() >= 4 && rest.compare(0, 3, ":X:") == 0 && IsDigit(rest[3])) key = rest.substr(0, 4);
        else if (rest.size() >= 2 && rest[0] == ':') key = rest.substr(0, 2);
        if (key.empty()) {
            Error("unknown setting in \"" + command + "\"");
            reply.text = ":N";
        } else {
            reply = WriteSetting(command, key, rest.substr(key.size()));
        }
    } else {
        Error("unknown command \"" + command + "\"");
        reply.text = ":N";
    }
    return reply;
}

ModelACounter::Reply ModelACounter::ReadSetting(const std::string& key) {
    Reply reply;
    if (key == ":F") reply.text = ":F" + Hex(finishCode_);
    else if (key == ":B") reply.text = ":B" + ClockText(begin_);
    else if (key == ":E") reply.text = ":E" + ClockText(end_);
    else if (key == ":X:7") reply.text = ":X:7 " + device_.serialNumber;
    else if (key == ":X:8") reply.text = ":X:8 " + device_.unitType;
    else if (key.size() == 4 && key.compare(0, 3, ":X:") == 0 && key[3] >= '0' && key[3] <= '6')
        reply.text = key + settings_[key];
    else if (key == ":H") reply.text = ":H" + Hex(rangeMinutes_);
    else if (key == ":P") reply.text = ":P" + Hex(periodMinutes_);
    else if (key == ":C") reply.text = ":C" + RenderBins(settings_[":L"]);
    else if (key == ":S") reply.text = ":S" + RenderBins(settings_[":S"]);
    else if (key == ":Q") reply.text = ":Q" + settings_[":Q"];
    else if (key == ":t") reply.text = ":t" + ClockText(clock_.Now());
    else if (key == ":G") reply.text = ":G" + settings_[":G"];
    else {
        Error("unknown read key \"" + key + "\"");
        reply.text = ":N";
    }
    return reply;
}

ModelACounter::Reply ModelACounter::WriteSetting(const std::string& command, const std::string& key,
                                                 const std::string& value) {
    Reply reply;
    reply.text = ":N";
    bool accepted = true;
    if (key.size() == 4 && key[3] >= '0' && key[3] <= '6') {
        settings_[key] = value;
    } else if (key == ":S" || key == ":L") {
        bool anyDigit = false;
        for (char c : value) anyDigit = anyDigit || IsHex(c);
        accepted = anyDigit;
        if (accepted) settings_[key] = value;
    } else if (key == ":B" || key == ":E") {
        SimDateTime t;
        accepted = ParseClockDigits(value, true, t);
        if (accepted) (key == ":B" ? begin_ : end_) = t;
    } else if (key == ":H" || key == ":P") {
        unsigned minutes = 0;
        accepted = ParseHexNumber(value, minutes) && !(key == ":P" && minutes == 0);
        if (accepted) (key == ":H" ? rangeMinutes_ : periodMinutes_) = minutes;
    } else if (key == ":T") {
        SimDateTime t;
        accepted = ParseClockDigits(value, false, t);
        if (accepted) {
            clock_.Set(t);
            programming_.clockSets.push_back(t);
        }
    } else if (key == ":G") {
        settings_[key] = value;
    } else if (key == ":Q") {
        accepted = device_.dateEncodingSupported;
        if (accepted) {
            settings_[key] = value;
            dateEncoding_ = value.find('s') != std::string::npos;
        }
    } else {
        // ":X:7" and ":X:8" are fixed at the factory; anything else is unknown.
        accepted = false;
        if (key != ":X:7" && key != ":X:8" && key != ":D") Error("unknown write key in \"" + command + "\"");
    }
    if (accepted) {
        reply.text = ":Y";
        programming_.writes.push_back(command);
        programming_.values[key] = value;
    }
    return reply;
}

ModelACounter::Reply ModelACounter::ReadPage(const std::string& arguments) {
    Reply reply;
    const size_t comma = arguments.find(',');
    unsigned page = 0;
    unsigned chip = 0;
    if (comma == std::string::npos || !ParseDecimal(arguments.substr(0, comma), page) ||
        !ParseDecimal(arguments.substr(comma + 1), chip) || !ModelAFlash::ValidAddress(chip, page)) {
        Error("bad page address \"" + arguments + "\"");
        reply.text = ":N";
        return reply;
    }
    reply.page = true;
    reply.pageBytes = flash_.Page(chip, page);
    return reply;
}

}  // namespace tallysim

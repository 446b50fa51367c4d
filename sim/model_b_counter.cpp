#include "model_b_counter.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "random.h"
#include "sim_models.h"

namespace tallysim {

namespace {

constexpr size_t kMaxLine = 1024;
constexpr unsigned kMaxBlock = 15;

std::string DateText(const SimDateTime& t) { return t.millisecond == 0 ? t.TextNoMillis() : t.Text(); }

bool ParseCount(const std::string& text, uint64_t& out) {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    out = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

// A quoted date and time at `pos`, which is moved past the closing quote.
bool ReadQuotedTime(const std::string& text, size_t& pos, SimDateTime& out) {
    if (pos >= text.size() || text[pos] != '"') return false;
    const size_t close = text.find('"', pos + 1);
    if (close == std::string::npos) return false;
    const auto parsed = SimDateTime::Parse(text.substr(pos + 1, close - pos - 1));
    if (!parsed) return false;
    out = *parsed;
    pos = close + 1;
    return true;
}

// Data lines are spoiled in a way no reader can take for good: digits become X, quotes become
// apostrophes.
std::string Garbled(std::string text) {
    for (auto& c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) c = 'X';
        else if (c == '"') c = '\'';
    }
    return text.empty() ? "?" : text;
}

// Whole and fraction bytes of a model B measurement.
void SplitMeasurement(double value, bool hundredths, uint8_t& whole, uint8_t& fraction) {
    value = std::clamp(value, 0.0, 255.99);
    if (hundredths) {
        const long scaled = std::lround(value * 100.0);
        whole = static_cast<uint8_t>(std::min(scaled / 100, 255L));
        fraction = static_cast<uint8_t>(scaled % 100);
    } else {
        const long scaled = std::lround(value * 10.0);
        whole = static_cast<uint8_t>(std::min(scaled / 10, 255L));
        fraction = static_cast<uint8_t>(scaled % 10);
    }
}

// Flag byte and stored measurements of a generated vehicle: fraction bytes (tenths, or
// hundredths for the hundredths share) and noise in the top three flag bits.
void StoreModelBVehicle(Vehicle& v, bool /*noLength*/, const TrafficDescription& traffic, Random& random) {
    v.flags = v.reverse ? kBReverse : kBForward;
    if (v.unclassified) v.flags |= kBUnclassified;
    if (random.Chance(traffic.highFlagBitsShare)) v.flags |= static_cast<uint8_t>((1 + random.Below(7)) << 5);
    const bool hundredths = random.Chance(traffic.fractionHundredthsShare);
    SplitMeasurement(v.speedMph, hundredths, v.speedWhole, v.speedFraction);
    SplitMeasurement(v.lengthFt, hundredths, v.lengthWhole, v.lengthFraction);
}

std::unique_ptr<Counter> MakeModelB(const Description& description, const Study& study, FaultPlan* faults,
                                    unsigned /*eraseDelayMs*/) {
    return std::make_unique<ModelBCounter>(description, study, faults);
}

}  // namespace

extern const SimModel kModelBSim;
constinit const SimModel kModelBSim{
    .info = SharedModel("B"),
    .model = Model::B,
    .traits = "line commands, binary records",
    .makeCounter = MakeModelB,
    .serialNumber = "B2048-0117",
    .firmware = "2.0.7",
    .batteryVoltage = "6.42",
    .acr = "",
    .batteryPercent = "87",
    .recordCapacity = UINT64_MAX,
    .fullStudyVehicles = kBFullStudy,
    // Records hold the seconds from the study begin in 24 bits.
    .recordSpanMs = int64_t{0xFFFFFF} * 1000 + 999,
    .periodicCapacity = 0,
    .datedRecords = false,
    .lengthlessRecords = false,
    .zeroOffsets = false,
    .storeVehicle = StoreModelBVehicle,
    .spoilRecords = nullptr,
};

std::array<uint8_t, 8> EncodeModelBRecord(const Vehicle& vehicle, int64_t beginMs) {
    std::array<uint8_t, 8> record{};
    if (vehicle.rawSize > 0) {
        std::copy_n(vehicle.raw.begin(), std::min<size_t>(8, vehicle.rawSize), record.begin());
        return record;
    }
    int64_t offset = (vehicle.timeMs - beginMs) / 1000;
    offset = std::clamp<int64_t>(offset, 0, 0xFFFFFF);
    record[0] = vehicle.flags;
    record[1] = static_cast<uint8_t>(offset >> 16);
    record[2] = static_cast<uint8_t>(offset >> 8);
    record[3] = static_cast<uint8_t>(offset);
    record[4] = vehicle.speedWhole;
    record[5] = vehicle.speedFraction;
    record[6] = vehicle.lengthWhole;
    record[7] = vehicle.lengthFraction;
    return record;
}


ModelBCounter::ModelBCounter(const Description& description, const Study& study, FaultPlan* faults)
    : Counter(faults),
      device_(description.device),
      studyType_(description.study.studyType),
      state_(description.study.stateCode),
      begin_(study.begin),
      end_(study.end),
      periodSeconds_(static_cast<long>(study.periodMinutes) * 60),
      recordSize_(description.study.recordSize),
      studyInfo_(description.study.studyInfo) {
    const auto& s = description.study;
    if (s.clockGiven) {
        clock_.Set(s.clock);
    } else if (state_ >= 1 && state_ <= 3) {
        const int64_t hourBeforeEnd = end_.ToMillis() - 3'600'000;
        clock_.Set(SimDateTime::FromMillis(std::max(begin_.ToMillis(), hourBeforeEnd)));
    }
    const int64_t beginMs = begin_.ToMillis();
    records_.reserve(study.vehicles.size() * 8);
    for (const auto& v : study.vehicles) {
        const auto r = EncodeModelBRecord(v, beginMs);
        records_.insert(records_.end(), r.begin(), r.end());
    }
    const std::string document = s.userArea.empty() ? BuildUserArea(s) : s.userArea;
    const auto pieces = UserAreaBlocks(document, s.userAreaBlockSize);
    for (unsigned k = 0; k < pieces.size() && k <= kMaxBlock; ++k) blocks_[k] = pieces[k];
}

std::string ModelBCounter::BuildUserArea(const StudyDescription& s) {
    auto element = [](const char* tag, const std::string& content) {
        return std::string("<") + tag + ">" + content + "</" + tag + ">";
    };
    return "<TALLYX>" + element("V", s.version) + element("SB", s.speedBins) + element("LB", s.lengthBins) +
           element("SPL", s.speedLimit) + element("OP", s.operatorInitials) + element("ST", s.state) +
           element("CT", s.city) + element("CNT", s.county) + element("ADDR", s.street) +
           element("LN", s.direction) + "</TALLYX>";
}

std::vector<std::string> ModelBCounter::UserAreaBlocks(const std::string& document, size_t blockSize) {
    std::vector<std::string> blocks;
    if (blockSize == 0) blockSize = 235;
    for (size_t at = 0; at < document.size(); at += blockSize) blocks.push_back(document.substr(at, blockSize) + '"');
    return blocks;
}

std::string ModelBCounter::WakeupLine(WakeupFault fault) const {
    switch (fault) {
        case WakeupFault::None: return "ZK220 READY\r\n";
        case WakeupFault::Wrong: return "ZK220 BUSY\r\n";
        case WakeupFault::LowerCase: return "zk220 ready\r\n";
        case WakeupFault::ControlByte: return std::string("ZK220 \x01READY\r\n");
        case WakeupFault::Missing: return "";
        case WakeupFault::Long: return std::string(1100, 'W') + "ZK220 READY\r\n";
        case WakeupFault::Endless: return std::string(1024, 'W');
    }
    return "ZK220 READY\r\n";
}

void ModelBCounter::UpdateStudyState() {
    if (state_ < 1 || state_ > 3) return;
    const int64_t now = clock_.NowMillis();
    if (now >= end_.ToMillis()) state_ = 0;
    else if (state_ == 1 && now >= begin_.ToMillis()) state_ = 2;
}

unsigned ModelBCounter::StudyState() {
    UpdateStudyState();
    return static_cast<unsigned>(state_);
}

std::string ModelBCounter::StudyInfoLine() {
    UpdateStudyState();
    if (!studyInfo_.empty()) return studyInfo_;
    return studyType_ + " " + std::to_string(state_) + " \"" + DateText(begin_) + "\" \"" + DateText(end_) + "\" " +
           std::to_string(periodSeconds_) + " " + std::to_string(RecordCount()) + " " + std::to_string(recordSize_);
}

void ModelBCounter::Receive(std::string_view bytes, LineOutput& out) {
    for (char c : bytes) {
        if (c == '\n') {
            std::string line;
            line.swap(input_);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) HandleLine(line, out);
            continue;
        }
        if (input_.size() >= kMaxLine) {
            Error("line longer than " + std::to_string(kMaxLine) + " bytes without a line feed; dropped");
            input_.clear();
        }
        input_ += c;
    }
}

void ModelBCounter::HandleLine(const std::string& line, LineOutput& out) {
    const FaultDecision decision = Note(line);
    Reply reply;
    if (decision.refuse) reply.ack = false;
    else if (!decision.replace) reply = Execute(line);

    std::string bytes = reply.ack ? "Y\r\n" : "N\r\n";
    if (decision.replace) bytes = decision.replacement + "\r\n";
    if (reply.ack && reply.hasBinary) {
        if (decision.garble)
            for (auto& b : reply.binary) b = static_cast<char>(b ^ 0xA5);
        bytes += reply.binary;
    } else if (reply.ack && reply.hasData) {
        bytes += (decision.garble ? Garbled(reply.data) : reply.data) + "\r\n";
    } else if (decision.garble) {
        bytes = "?\r\n";
    }
    Deliver(bytes, decision, out);
}

ModelBCounter::Reply ModelBCounter::Execute(const std::string& line) {
    UpdateStudyState();
    const size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string arguments = space == std::string::npos ? "" : line.substr(space + 1);
    Reply reply;
    auto data = [&](std::string text) {
        reply.hasData = true;
        reply.data = std::move(text);
    };
    if (word == "GETSERIALNUMBER" && arguments.empty()) data(device_.serialNumber);
    else if (word == "GETDEVICETYPE" && arguments.empty()) data(device_.unitType);
    else if (word == "GETFIRMWAREVERSION" && arguments.empty()) data(device_.firmware);
    else if (word == "GETBATTERYVOLTAGE" && arguments.empty()) data(device_.batteryVoltage);
    else if (word == "GETBATTERYPERCENT" && arguments.empty()) data(device_.batteryPercent);
    else if (word == "GETSTUDYINFO" && arguments.empty()) data(StudyInfoLine());
    else if (word == "GETUSERAREA") {
        uint64_t block = 0;
        if (!ParseCount(arguments, block) || block > kMaxBlock) {
            reply.ack = false;
        } else {
            const auto found = blocks_.find(static_cast<unsigned>(block));
            // An erased block holds an empty piece: only its closing quote.
            data(found == blocks_.end() ? "\"" : found->second);
        }
    } else if (word == "GETSTUDYDATABINARY") {
        reply = ReadRecords(arguments);
    } else if (word == "CONTROLSTUDY") {
        reply = ControlStudy(line, arguments);
    } else if (word == "ERASEUSERAREA" && arguments.empty()) {
        blocks_.clear();
        ++programming_.erases;
        programming_.userAreaBlocks.clear();
        programming_.writes.push_back(line);
    } else if (word == "SETUSERAREA") {
        reply = SetUserArea(line);
    } else if (word == "SETCLOCK") {
        size_t pos = 0;
        SimDateTime time;
        if (ReadQuotedTime(arguments, pos, time) && pos == arguments.size()) {
            clock_.Set(time);
            programming_.clockSets.push_back(time);
            programming_.writes.push_back(line);
        } else {
            reply.ack = false;
        }
    } else if (word == "CONTROLBATTERYDISCHARGE" && !device_.dischargeCircuit) {
        reply.ack = false;
    } else if (word == "CONTROLBATTERYDISCHARGE" && (arguments == "START" || arguments == "STOP")) {
        const bool start = arguments == "START";
        programming_.dischargeOn = start;
        ++(start ? programming_.dischargeStarts : programming_.dischargeStops);
        programming_.writes.push_back(line);
    } else {
        Error("unknown command \"" + line + "\"");
        reply.ack = false;
    }
    return reply;
}

ModelBCounter::Reply ModelBCounter::ControlStudy(const std::string& line, const std::string& arguments) {
    Reply reply;
    if (arguments == "STOP") {
        if (state_ >= 1 && state_ <= 3) state_ = 4;
        ++programming_.studyStops;
        programming_.writes.push_back(line);
        return reply;
    }
    // PROGRAM <type> "<begin>" "<end>" <period seconds>
    reply.ack = false;
    if (arguments.rfind("PROGRAM ", 0) != 0) {
        Error("unknown study control \"" + line + "\"");
        return reply;
    }
    const std::string rest = arguments.substr(8);
    const size_t space = rest.find(' ');
    if (space == 0 || space == std::string::npos) return reply;
    const std::string type = rest.substr(0, space);
    size_t pos = space + 1;
    SimDateTime begin;
    SimDateTime end;
    if (!ReadQuotedTime(rest, pos, begin) || pos >= rest.size() || rest[pos++] != ' ' ||
        !ReadQuotedTime(rest, pos, end) || pos >= rest.size() || rest[pos++] != ' ')
        return reply;
    uint64_t period = 0;
    if (!ParseCount(rest.substr(pos), period) || period == 0 || begin.ToMillis() >= end.ToMillis()) return reply;

    studyType_ = type;
    begin_ = begin;
    end_ = end;
    periodSeconds_ = static_cast<long>(period);
    records_.clear();
    state_ = clock_.NowMillis() < begin_.ToMillis() ? 1 : 2;
    ++programming_.studyStarts;
    programming_.studyProgrammed = true;
    programming_.studyType = type;
    programming_.begin = begin;
    programming_.end = end;
    programming_.periodSeconds = periodSeconds_;
    programming_.writes.push_back(line);
    reply.ack = true;
    return reply;
}

ModelBCounter::Reply ModelBCounter::ReadRecords(const std::string& arguments) {
    Reply reply;
    const size_t space = arguments.find(' ');
    uint64_t first = 0;
    uint64_t count = 0;
    if (space == std::string::npos || !ParseCount(arguments.substr(0, space), first) ||
        !ParseCount(arguments.substr(space + 1), count) || first + count > RecordCount()) {
        reply.ack = false;
        return reply;
    }
    reply.hasBinary = true;
    reply.binary.reserve(static_cast<size_t>(count) * recordSize_);
    for (uint64_t i = first; i < first + count; ++i) {
        const auto* record = records_.data() + i * 8;
        for (unsigned b = 0; b < recordSize_; ++b) reply.binary += static_cast<char>(b < 8 ? record[b] : 0);
    }
    return reply;
}

ModelBCounter::Reply ModelBCounter::SetUserArea(const std::string& line) {
    Reply reply;
    const size_t quote = line.find('"');
    uint64_t block = 0;
    std::string number = quote == std::string::npos ? "" : line.substr(11, quote - 11);
    number.erase(0, number.find_first_not_of(' '));
    number.erase(number.find_last_not_of(' ') + 1);
    if (quote == std::string::npos || !ParseCount(number, block) || block > kMaxBlock) {
        reply.ack = false;
        return reply;
    }
    const std::string piece = line.substr(quote + 1);
    blocks_[static_cast<unsigned>(block)] = piece;
    programming_.userAreaBlocks[static_cast<unsigned>(block)] = piece;
    programming_.writes.push_back(line);
    return reply;
}

}  // namespace tallysim

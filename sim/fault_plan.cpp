#include "fault_plan.h"

#include <cctype>
#include <cstdlib>

namespace tallysim {

namespace {

bool ParseUnsigned(const std::string& text, unsigned& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

bool InWindow(unsigned seen, unsigned occurrence, unsigned count) {
    if (seen < occurrence) return false;
    return count == 0 || seen < occurrence + count;
}

const char* KindName(FaultKind kind) {
    switch (kind) {
        case FaultKind::Refuse: return "refuse";
        case FaultKind::Garble: return "garble";
        case FaultKind::Drop: return "drop";
        case FaultKind::Stall: return "stall";
        case FaultKind::Short: return "short";
        case FaultKind::HangUp: return "hangup";
        case FaultKind::Flood: return "flood";
        case FaultKind::Answer: return "answer";
    }
    return "?";
}

}  // namespace

void FaultPlan::Add(const CommandFault& fault) { commands_.push_back({fault, 0}); }

void FaultPlan::AddWakeup(const WakeupFaultRule& fault) { wakeups_.push_back(fault); }

bool FaultPlan::Matches(const std::string& pattern, const std::string& command) {
    if (!pattern.empty() && pattern.back() == '*')
        return command.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    return pattern == command;
}

std::string FaultPlan::Describe(const CommandFault& fault) {
    // Appended piece by piece: "@" + std::to_string(...) trips a false
    // -Wrestrict in optimised builds of GCC 12.
    std::string text = KindName(fault.kind);
    text.append("@").append(std::to_string(fault.occurrence));
    if (fault.count == 0) text.append("x*");
    else text.append("x").append(std::to_string(fault.count));
    if (fault.kind == FaultKind::Stall) {
        text.append("=").append(std::to_string(fault.milliseconds));
        if (fault.bytes >= 0) text.append("+").append(std::to_string(fault.bytes));
    } else if ((fault.kind == FaultKind::Short || fault.kind == FaultKind::HangUp || fault.kind == FaultKind::Flood) &&
               fault.bytes >= 0) {
        text.append("=").append(std::to_string(fault.bytes));
    } else if ((fault.kind == FaultKind::Garble || fault.kind == FaultKind::Answer) && !fault.form.empty()) {
        text.append("=").append(fault.form);
    }
    return text.append("/").append(fault.pattern);
}

bool FaultPlan::Parse(const std::string& text, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = "fault \"" + text + "\": " + why;
        return false;
    };
    std::string head = text;
    std::string pattern = "*";
    const size_t slash = text.find('/');
    if (slash != std::string::npos) {
        head = text.substr(0, slash);
        pattern = text.substr(slash + 1);
        if (pattern.empty()) return fail("empty command pattern");
    }
    std::string param;
    bool hasParam = false;
    const size_t equals = head.find('=');
    if (equals != std::string::npos) {
        param = head.substr(equals + 1);
        head.resize(equals);
        hasParam = true;
    }
    // KIND, then @N, then xC.
    size_t i = 0;
    auto isCountStart = [&](size_t k) {
        return head[k] == 'x' && k + 1 < head.size() &&
               (head[k + 1] == '*' || std::isdigit(static_cast<unsigned char>(head[k + 1])));
    };
    while (i < head.size() && std::isalpha(static_cast<unsigned char>(head[i])) && !isCountStart(i)) ++i;
    const std::string kindText = head.substr(0, i);
    unsigned occurrence = 1;
    unsigned count = 1;
    if (i < head.size() && head[i] == '@') {
        size_t j = ++i;
        while (j < head.size() && std::isdigit(static_cast<unsigned char>(head[j]))) ++j;
        if (!ParseUnsigned(head.substr(i, j - i), occurrence) || occurrence == 0)
            return fail("bad occurrence (counted from 1)");
        i = j;
    }
    if (i < head.size() && head[i] == 'x') {
        const std::string c = head.substr(i + 1);
        if (c == "*") {
            count = 0;
        } else if (!ParseUnsigned(c, count) || count == 0) {
            return fail("bad repeat count");
        }
        i = head.size();
    }
    if (i != head.size()) return fail("cannot read \"" + head + "\"");
    std::string kind;
    for (char c : kindText) kind += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    if (kind == "wakeup") {
        WakeupFaultRule wakeup;
        wakeup.occurrence = occurrence;
        wakeup.count = count;
        if (param == "wrong") wakeup.kind = WakeupFault::Wrong;
        else if (param == "lower") wakeup.kind = WakeupFault::LowerCase;
        else if (param == "control") wakeup.kind = WakeupFault::ControlByte;
        else if (param == "missing") wakeup.kind = WakeupFault::Missing;
        else if (param == "long") wakeup.kind = WakeupFault::Long;
        else if (param == "endless") wakeup.kind = WakeupFault::Endless;
        else return fail("the wake-up form must be wrong, lower, control, missing, long or endless");
        if (slash != std::string::npos) return fail("a wake-up fault takes no command pattern");
        AddWakeup(wakeup);
        return true;
    }

    CommandFault fault;
    fault.pattern = pattern;
    fault.occurrence = occurrence;
    fault.count = count;
    if (kind == "refuse" || kind == "drop") {
        fault.kind = kind == "refuse" ? FaultKind::Refuse : FaultKind::Drop;
        if (hasParam) return fail("this fault takes no parameter");
    } else if (kind == "garble" || kind == "badcrc") {
        fault.kind = FaultKind::Garble;
        if (hasParam) {
            if (param != "wrong" && param != "lower" && param != "zero" && param != "missing")
                return fail("the garble form must be wrong, lower, zero or missing");
            fault.form = param;
        }
    } else if (kind == "stall") {
        fault.kind = FaultKind::Stall;
        const size_t plus = param.find('+');
        unsigned ms = 0;
        if (!ParseUnsigned(param.substr(0, plus), ms)) return fail("stall needs =MILLISECONDS[+BYTES]");
        fault.milliseconds = ms;
        if (plus != std::string::npos) {
            unsigned bytes = 0;
            if (!ParseUnsigned(param.substr(plus + 1), bytes)) return fail("bad byte count");
            fault.bytes = static_cast<int>(bytes);
        }
    } else if (kind == "short" || kind == "hangup" || kind == "flood") {
        fault.kind = kind == "short" ? FaultKind::Short : kind == "hangup" ? FaultKind::HangUp : FaultKind::Flood;
        if (hasParam) {
            unsigned bytes = 0;
            if (!ParseUnsigned(param, bytes)) return fail("bad byte count");
            fault.bytes = static_cast<int>(bytes);
        }
    } else if (kind == "answer") {
        fault.kind = FaultKind::Answer;
        if (param.empty()) return fail("answer needs =TEXT");
        fault.form = param;
    } else {
        return fail("unknown fault kind \"" + kind + "\"");
    }
    Add(fault);
    return true;
}

FaultDecision FaultPlan::ForCommand(const std::string& command) {
    FaultDecision decision;
    for (auto& entry : commands_) {
        if (!Matches(entry.fault.pattern, command)) continue;
        ++entry.seen;
        if (!InWindow(entry.seen, entry.fault.occurrence, entry.fault.count)) continue;
        const CommandFault& f = entry.fault;
        switch (f.kind) {
            case FaultKind::Refuse: decision.refuse = true; break;
            case FaultKind::Garble:
                decision.garble = true;
                decision.garbleForm = f.form;
                break;
            case FaultKind::Drop: decision.drop = true; break;
            case FaultKind::Stall:
                decision.stallMs += f.milliseconds;
                decision.stallAfter = f.bytes;
                break;
            case FaultKind::Short: decision.shortBytes = f.bytes; break;
            case FaultKind::HangUp: decision.hangUpAfter = f.bytes; break;
            case FaultKind::Flood: decision.floodBytes = f.bytes < 0 ? 1024 : f.bytes; break;
            case FaultKind::Answer:
                decision.replace = true;
                decision.replacement = f.form;
                break;
        }
        decision.applied.push_back(Describe(f));
    }
    return decision;
}

WakeupFault FaultPlan::ForWakeup() {
    ++wakeupsSeen_;
    for (const auto& fault : wakeups_)
        if (InWindow(wakeupsSeen_, fault.occurrence, fault.count)) return fault.kind;
    return WakeupFault::None;
}

void FaultPlan::ResetCounters() {
    for (auto& entry : commands_) entry.seen = 0;
    wakeupsSeen_ = 0;
}

CommandFault FaultPlan::Refuse(const std::string& pattern, unsigned occurrence, unsigned count) {
    CommandFault f;
    f.kind = FaultKind::Refuse;
    f.pattern = pattern;
    f.occurrence = occurrence;
    f.count = count;
    return f;
}

CommandFault FaultPlan::Garble(const std::string& pattern, unsigned occurrence, unsigned count) {
    CommandFault f = Refuse(pattern, occurrence, count);
    f.kind = FaultKind::Garble;
    return f;
}

CommandFault FaultPlan::Drop(const std::string& pattern, unsigned occurrence, unsigned count) {
    CommandFault f = Refuse(pattern, occurrence, count);
    f.kind = FaultKind::Drop;
    return f;
}

CommandFault FaultPlan::Stall(const std::string& pattern, unsigned milliseconds, unsigned occurrence,
                              int afterBytes) {
    CommandFault f = Refuse(pattern, occurrence, 1);
    f.kind = FaultKind::Stall;
    f.milliseconds = milliseconds;
    f.bytes = afterBytes;
    return f;
}

CommandFault FaultPlan::Short(const std::string& pattern, int bytes, unsigned occurrence) {
    CommandFault f = Refuse(pattern, occurrence, 1);
    f.kind = FaultKind::Short;
    f.bytes = bytes;
    return f;
}

CommandFault FaultPlan::HangUp(const std::string& pattern, int afterBytes, unsigned occurrence) {
    CommandFault f = Refuse(pattern, occurrence, 1);
    f.kind = FaultKind::HangUp;
    f.bytes = afterBytes;
    return f;
}

CommandFault FaultPlan::CorruptPageCrcOnce(unsigned chip, unsigned page) {
    return Garble(":F:X," + std::to_string(page) + "," + std::to_string(chip), 1, 1);
}

}  // namespace tallysim

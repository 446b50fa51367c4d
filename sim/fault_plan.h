// Deterministic faults: what the counter does wrong, and when. Faults are tied to the Nth
// occurrence of a command (or of the wake-up) and combine freely.
//
// Text form, as the command line takes it:   KIND[@N][xC][=PARAM][/PATTERN]
//   KIND     refuse | garble | badcrc | drop | stall | short | hangup | flood | answer | wakeup
//   @N       the first affected occurrence, counted from 1 (default 1)
//   xC       how many occurrences in a row are affected (default 1; x* for all from N on)
//   =PARAM   stall: MS or MS+BYTES (wait MS milliseconds before the answer, or after its first
//            BYTES bytes); short and hangup: BYTES of the answer that are sent (default half);
//            garble: wrong | lower | zero | missing (how a model A check value is spoiled);
//            flood: BYTES of printable text sent instead of the answer, with no line end
//            (default 1024);
//            answer: TEXT the counter answers instead, in a sound frame or line (the
//            command is not carried out);
//            wakeup: wrong | lower | control | missing | long | endless
//   /PATTERN the command it applies to, as sent without framing or line end (":R:F",
//            "GETSTUDYINFO"); a trailing * matches every command that starts with the rest
//            (":F:X*" is every page read, "*" every command)
// Examples: garble@2/:R:F   badcrc/:F:X,9,2   stall=3000/:X   hangup@3=100/:F:X*   wakeup=lower
#pragma once

#include <string>
#include <vector>

namespace tallysim {

enum class FaultKind {
    Refuse,  // the counter refuses the command (and does not carry it out)
    Garble,  // the answer's check value (model A) or content (model B) is spoiled
    Drop,    // no answer at all
    Stall,   // the answer comes late, or stops for a while part-way
    Short,   // only the first bytes of the answer are sent
    HangUp,  // the first bytes of the answer are sent, then the line hangs up
    Flood,   // printable text without a line end comes instead of the answer
    Answer,  // another answer, soundly framed, comes instead (the command is not carried out)
};

enum class WakeupFault {
    None,
    Wrong,        // a printable line without READY
    LowerCase,    // the usual line in lower case
    ControlByte,  // the usual line with a control byte inside
    Missing,      // nothing at all
    Long,         // the usual line after 1,100 printable characters
    Endless,      // 1,024 printable characters and no line end
};

struct CommandFault {
    FaultKind kind = FaultKind::Refuse;
    std::string pattern = "*";
    unsigned occurrence = 1;
    unsigned count = 1;        // 0: every occurrence from `occurrence` on
    unsigned milliseconds = 0; // stall
    int bytes = -1;            // stall: bytes before the pause (-1: none); short, hangup: bytes sent (-1: half)
    std::string form;          // garble form; the text of another answer
};

struct WakeupFaultRule {
    WakeupFault kind = WakeupFault::None;
    unsigned occurrence = 1;
    unsigned count = 1;  // 0: every wake-up from `occurrence` on
};

// What happens to one command's answer.
struct FaultDecision {
    bool refuse = false;
    bool garble = false;
    std::string garbleForm;
    bool drop = false;
    int shortBytes = -2;   // -2: not short; -1: half; else that many bytes
    int hangUpAfter = -2;  // -2: no hang-up; -1: after half; else after that many bytes
    int floodBytes = -1;   // -1: no flood; else that many bytes replace the answer
    bool replace = false;  // the answer text is `replacement` instead
    std::string replacement;
    unsigned stallMs = 0;
    int stallAfter = -1;   // bytes sent before the stall (-1: before the whole answer)
    std::vector<std::string> applied;  // the faults that struck, in text form

    bool Any() const { return !applied.empty(); }
};

class FaultPlan {
public:
    void Add(const CommandFault& fault);
    void AddWakeup(const WakeupFaultRule& fault);
    // Adds one fault in the text form above.
    bool Parse(const std::string& text, std::string* error);

    // Counts one occurrence of the command and returns the faults that strike it.
    FaultDecision ForCommand(const std::string& command);
    // Counts one wake-up and returns the fault that strikes it (the first that matches).
    WakeupFault ForWakeup();

    bool Empty() const { return commands_.empty() && wakeups_.empty(); }
    void ResetCounters();

    static bool Matches(const std::string& pattern, const std::string& command);
    static std::string Describe(const CommandFault& fault);

    // Shorthands for tests.
    static CommandFault Refuse(const std::string& pattern, unsigned occurrence = 1, unsigned count = 1);
    static CommandFault Garble(const std::string& pattern, unsigned occurrence = 1, unsigned count = 1);
    static CommandFault Drop(const std::string& pattern, unsigned occurrence = 1, unsigned count = 1);
    static CommandFault Stall(const std::string& pattern, unsigned milliseconds, unsigned occurrence = 1,
                              int afterBytes = -1);
    static CommandFault Short(const std::string& pattern, int bytes = -1, unsigned occurrence = 1);
    static CommandFault HangUp(const std::string& pattern, int afterBytes = -1, unsigned occurrence = 1);
    // The CRC of one flash page is wrong the first time the page is read.
    static CommandFault CorruptPageCrcOnce(unsigned chip, unsigned page);

private:
    struct Counted {
        CommandFault fault;
        unsigned seen = 0;
    };
    std::vector<Counted> commands_;
    std::vector<WakeupFaultRule> wakeups_;
    unsigned wakeupsSeen_ = 0;
};

}  // namespace tallysim

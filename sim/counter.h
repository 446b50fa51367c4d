// What both simulated counter models share: the record of commands received and of what was
// programmed, protocol errors noticed on the line, and the delivery of an answer with the
// faults that strike it.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "fault_plan.h"
#include "line_output.h"
#include "sim_time.h"

namespace tallysim {

// One command as the counter understood it.
struct CommandRecord {
    unsigned session = 0;             // the opening of the port it arrived in (from 1)
    std::string command;              // without framing or line end (":R:F", "GETSTUDYINFO")
    std::vector<std::string> faults;  // the faults that struck its answer, in text form
};

// What a program wrote into the counter.
struct Programming {
    // Every accepted setting command, as received, in order (model A ":S..." commands and
    // ":T"; model B SETCLOCK, CONTROLSTUDY, SETUSERAREA, ERASEUSERAREA, CONTROLBATTERYDISCHARGE).
    std::vector<std::string> writes;
    unsigned erases = 0;           // model A ":X"; model B ERASEUSERAREA
    unsigned studyStarts = 0;      // model A ":T"; model B CONTROLSTUDY PROGRAM
    unsigned studyStops = 0;       // model B CONTROLSTUDY STOP
    unsigned dischargeStarts = 0;
    unsigned dischargeStops = 0;   // model B only (model A has no stop command)
    bool dischargeOn = false;
    std::vector<SimDateTime> clockSets;  // every clock setting, in order
    // Model A: the value each write key holds now, as written (":X:0" -> " Main St",
    // ":S" -> "F,19,23", ":L", ":B" -> "0903071405", ":E", ":H" -> "5A0", ":P", ":G", ":Q").
    std::map<std::string, std::string> values;
    // Model B: the last study programmed.
    bool studyProgrammed = false;
    std::string studyType;
    SimDateTime begin;
    SimDateTime end;
    long periodSeconds = 0;
    // Model B: the user area as stored, per block (the piece and its closing quote).
    std::map<unsigned, std::string> userAreaBlocks;
    // Model B: the user-area document, blocks 0, 1, ... joined, each without its closing quote.
    std::string UserAreaDocument() const;
};

class Counter {
public:
    explicit Counter(FaultPlan* faults) : faults_(faults) {}
    virtual ~Counter() = default;
    Counter(const Counter&) = delete;
    Counter& operator=(const Counter&) = delete;

    // The wake-up line that this opening of the port gets (empty for a missing one).
    virtual std::string WakeupLine(WakeupFault fault) const = 0;
    // A new opening of the port: anything half received is forgotten.
    virtual void BeginSession(unsigned session) {
        session_ = session;
        input_.clear();
    }
    // Bytes from the program on the port; answers go to `out`.
    virtual void Receive(std::string_view bytes, LineOutput& out) = 0;
    // Model A: the finish code reported now; model B: the study state code.
    virtual unsigned StudyState() = 0;
    virtual SimDateTime ClockNow() const = 0;

    const std::vector<CommandRecord>& Commands() const { return commands_; }
    const std::vector<std::string>& ProtocolErrors() const { return errors_; }
    const Programming& Programmed() const { return programming_; }

protected:
    // Counts the command against the fault plan and records it.
    FaultDecision Note(const std::string& command);
    void Error(std::string text);
    // Sends `bytes` (already refused or garbled as decided) with the delivery faults applied.
    static void Deliver(const std::string& bytes, const FaultDecision& decision, LineOutput& out);

    FaultPlan* faults_;
    unsigned session_ = 0;
    std::string input_;
    std::vector<CommandRecord> commands_;
    std::vector<std::string> errors_;
    Programming programming_;
};

}  // namespace tallysim

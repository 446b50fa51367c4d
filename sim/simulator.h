// A simulated traffic counter on a pseudo-terminal, for testing programs that read and program
// counters without hardware. In-process use:
//
//   tallysim::SimOptions options(tallysim::Model::A);
//   options.portDir = "/tmp/ports";          // the program looks for <portDir>/COM<n>
//   options.comNumber = 3;
//   options.description.Set("vehicles", "500", nullptr);
//   options.faults.Add(tallysim::FaultPlan::Garble(":R:F"));
//   tallysim::Simulator counter(options);
//   std::string error;
//   if (!counter.Start(&error)) ...;          // serves every opening of /tmp/ports/COM3
//   ... run the program under test ...
//   counter.GetStudy().vehicles;               // what it recorded
//   counter.Commands(); counter.Programmed(); counter.BytesToCounter();
//   counter.Stop();                            // also done by the destructor
//
// The line runs on a thread of its own between Start() and Stop(); every accessor may be called
// from any thread at any time.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "counter.h"
#include "description.h"
#include "fault_plan.h"
#include "paced_output.h"
#include "pty_line.h"
#include "study.h"
#include "transcript.h"

namespace tallysim {

struct SimOptions {
    explicit SimOptions(Model model = Model::A) : description(Description::Defaults(model)) {}

    std::string portDir;            // where COM<n> is published (the program's TALLYX_PORT_DIR)
    unsigned comNumber = 1;
    unsigned settleMs = 80;         // from noticing that the port was opened to the wake-up line
    unsigned baud = 0;              // pace output like a line of this speed; 0: as fast as possible
    unsigned eraseDelayMs = 100;    // model A: the erase command's working time
    unsigned idleSleepMs = 0;       // the counter sleeps after this long without traffic (0: never);
                                    // asleep it ignores everything until the port is opened again
    unsigned hangUpLingerMs = 50;   // a hang-up comes this long after the last bytes before it
    std::string transcriptFile;     // also write the transcript here (empty: no file)
    bool keepTranscript = true;     // keep the transcript in memory
    Description description;        // the counter; its model selects the protocol
    std::optional<Study> study;     // the recorded content; unset: generated from the description
    FaultPlan faults;
};

class Simulator {
public:
    explicit Simulator(SimOptions options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Publishes the port and starts serving it. False with a reason when the port cannot be made.
    bool Start(std::string* error = nullptr);
    // Stops serving and removes the published link. The counter's state is kept.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    Model GetModel() const { return options_.description.model; }
    std::string PortPath() const;   // <portDir>/COM<n> while running, else empty
    std::string SlavePath() const;  // the pseudo-terminal behind it now
    const Description& GetDescription() const { return options_.description; }
    // The content the counter was started with (it stays, also after the counter is erased).
    const Study& GetStudy() const { return study_; }

    // The line: every byte each way and the openings and closings, in order.
    std::vector<TranscriptEntry> TranscriptEntries() const { return transcript_.Entries(); }
    std::string BytesToCounter(unsigned session = 0) const { return transcript_.BytesToCounter(session); }
    std::string BytesFromCounter(unsigned session = 0) const { return transcript_.BytesFromCounter(session); }
    void ClearTranscript() { transcript_.Clear(); }

    std::vector<CommandRecord> Commands() const;
    std::vector<std::string> ProtocolErrors() const;
    Programming Programmed() const;

    unsigned Sessions() const { return sessions_.load(); }  // openings of the port served so far
    unsigned Wakeups() const;                               // wake-up lines sent (or withheld)
    unsigned HangUps() const { return hangUps_.load(); }
    // Waits until `count` wake-ups have been sent (or withheld by a fault).
    bool WaitForWakeups(unsigned count, std::chrono::milliseconds timeout) const;

    // Model A: the finish code the counter reports now. Model B: the study state code.
    unsigned StudyState() const;
    // The counter's clock now.
    SimDateTime DeviceClock() const;

    // Replaces the fault plan (its counters start again).
    void SetFaults(const FaultPlan& faults);

private:
    void Run();
    void RunSession(int& openCount, bool& pendingOpen);
    // Applies notifications; returns false when the slave was closed at some point.
    bool ApplyNotices(int& openCount, bool& pendingOpen);
    void SendWakeup(unsigned session);
    void HangUp(unsigned session);
    void Wake();

    SimOptions options_;
    Study study_;
    PtyLine line_;
    Transcript transcript_;
    PacedOutput output_;

    mutable std::mutex mutex_;  // the counter, the fault plan and the two paths
    std::unique_ptr<Counter> counter_;
    FaultPlan faults_;
    std::string portPath_;
    std::string slavePath_;

    mutable std::condition_variable wakeupSignal_;
    unsigned wakeups_ = 0;  // guarded by mutex_

    std::thread thread_;
    std::atomic<bool> stop_{false};
    int wakeFd_ = -1;
    std::atomic<unsigned> sessions_{0};
    std::atomic<unsigned> hangUps_{0};
    std::vector<PtyLine::Notice> notices_;
};

}  // namespace tallysim

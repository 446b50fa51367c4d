// The counter's transmit queue. It hands bytes to the line as fast as the line takes them, or,
// with a baud rate set, no faster than a real line would carry them (baud / 10 bytes per
// second: a start bit, eight data bits and a stop bit per byte).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "line_output.h"

namespace tallysim {

class PacedOutput : public LineOutput {
public:
    using Clock = std::chrono::steady_clock;

    explicit PacedOutput(unsigned baud = 0) { SetBaud(baud); }

    void SetBaud(unsigned baud);
    void Send(std::string bytes) override;
    void Pause(unsigned milliseconds) override;
    void HangUp() override;

    void Clear();
    bool Empty() const { return queue_.empty(); }
    size_t QueuedBytes() const { return queuedBytes_; }

    struct Step {
        std::string written;                  // bytes the line took during this step
        bool hangUp = false;                  // a hang-up is due now (the rest of the queue stays)
        bool blocked = false;                 // the line takes no more bytes now: wait until writable
        bool failed = false;                  // the line refused the bytes for good
        std::optional<Clock::time_point> due; // when the next action is due, if one is waiting
    };

    // Performs what is due at `now`. `write` behaves like write(2) on a non-blocking descriptor.
    Step Pump(Clock::time_point now, const std::function<ssize_t(const char*, size_t)>& write);

private:
    struct Item {
        enum class Kind { Bytes, Pause, HangUp } kind;
        std::string bytes;
        size_t offset = 0;
        unsigned milliseconds = 0;
        bool started = false;
        Clock::time_point pauseEnd{};
    };

    std::deque<Item> queue_;
    size_t queuedBytes_ = 0;
    std::chrono::nanoseconds byteTime_{0};
    Clock::time_point nextByteTime_{};
};

}  // namespace tallysim

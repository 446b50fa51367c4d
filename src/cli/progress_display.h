#pragma once
// The progress of a long operation on a terminal: a bar with the step count
// and, when the number of steps is known, the percentage and the time left.
// Without a terminal it shows nothing and writes no control characters.
#include <chrono>
#include <cstdint>
#include <string>

namespace tallyx::cli {

class ProgressDisplay {
public:
    // Shows on standard error when it is a terminal.
    explicit ProgressDisplay(std::string label);
    ~ProgressDisplay();

    // total 0: unknown.
    void Update(uint32_t step, uint32_t total);
    // Clears the line (before a message or at the end).
    void Clear();
    bool Active() const { return active_; }

    // The text of the line for a step; exposed for tests.
    static std::string Line(const std::string& label, uint32_t step, uint32_t total, double elapsedSeconds,
                            unsigned width);

private:
    std::string label_;
    bool active_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace tallyx::cli

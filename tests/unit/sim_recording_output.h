// A line output that only records what a simulated counter does with its line, for tests that
// drive a counter in-process without a pseudo-terminal.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "line_output.h"
#include "model_a_frame.h"
#include "counter.h"

namespace simtest {

struct RecordingOutput : tallysim::LineOutput {
    enum class Kind { Bytes, Pause, HangUp };
    std::vector<std::pair<Kind, std::string>> actions;
    std::string sent;

    void Send(std::string bytes) override {
        sent += bytes;
        actions.emplace_back(Kind::Bytes, std::move(bytes));
    }
    void Pause(unsigned ms) override { actions.emplace_back(Kind::Pause, std::to_string(ms)); }
    void HangUp() override { actions.emplace_back(Kind::HangUp, std::string()); }
    void Reset() {
        actions.clear();
        sent.clear();
    }
};

// Sends one framed model A command and returns everything the counter sent back.
inline std::string AskA(tallysim::Counter& counter, const std::string& command) {
    RecordingOutput out;
    counter.Receive(tallysim::FrameModelA(command), out);
    return out.sent;
}

// The answer text of a model A frame ("" when the frame is not a valid answer).
inline std::string AnswerText(const std::string& frame) {
    if (frame.empty() || frame.back() != '\r') return "";
    const auto parsed = tallysim::ParseModelAFrame(std::string_view(frame).substr(0, frame.size() - 1));
    return parsed.valid ? parsed.text : "";
}

}  // namespace simtest

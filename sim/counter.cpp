#include "counter.h"

#include <algorithm>

namespace tallysim {

std::string Programming::UserAreaDocument() const {
    std::string document;
    for (const auto& [block, piece] : userAreaBlocks) {
        (void)block;
        document += piece;
        if (!document.empty() && document.back() == '"') document.pop_back();
    }
    return document;
}

FaultDecision Counter::Note(const std::string& command) {
    FaultDecision decision;
    if (faults_) decision = faults_->ForCommand(command);
    // A long binary download would otherwise grow the record without bound.
    if (commands_.size() < 1'000'000) commands_.push_back({session_, command, decision.applied});
    return decision;
}

void Counter::Error(std::string text) {
    if (errors_.size() < 10'000) errors_.push_back(std::move(text));
}

void Counter::Deliver(const std::string& bytes, const FaultDecision& decision, LineOutput& out) {
    if (decision.drop) return;
    if (decision.floodBytes >= 0) {
        out.Send(std::string(static_cast<size_t>(decision.floodBytes), 'A'));
        return;
    }
    size_t limit = bytes.size();
    if (decision.shortBytes != -2)
        limit = std::min(limit, decision.shortBytes < 0 ? bytes.size() / 2 : static_cast<size_t>(decision.shortBytes));
    const bool hangUp = decision.hangUpAfter != -2;
    if (hangUp)
        limit = std::min(limit, decision.hangUpAfter < 0 ? bytes.size() / 2 : static_cast<size_t>(decision.hangUpAfter));
    if (decision.stallMs > 0) {
        const size_t at = decision.stallAfter < 0 ? 0 : std::min(limit, static_cast<size_t>(decision.stallAfter));
        out.Send(bytes.substr(0, at));
        out.Pause(decision.stallMs);
        out.Send(bytes.substr(at, limit - at));
    } else {
        out.Send(bytes.substr(0, limit));
    }
    if (hangUp) out.HangUp();
}

}  // namespace tallysim

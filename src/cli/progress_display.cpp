#include "cli/progress_display.h"

#include <cstdio>

#include "platform/console.h"

namespace tallyx::cli {

ProgressDisplay::ProgressDisplay(std::string label)
    : label_(std::move(label)), active_(IsTerminal(stderr)), start_(std::chrono::steady_clock::now()) {}

ProgressDisplay::~ProgressDisplay() { Clear(); }

std::string ProgressDisplay::Line(const std::string& label, uint32_t step, uint32_t total, double elapsedSeconds,
                                  unsigned width) {
    char text[256];
    if (total == 0) {
        std::snprintf(text, sizeof text, "%s: step %u", label.c_str(), static_cast<unsigned>(step));
        return text;
    }
    if (step > total) step = total;
    const unsigned percent = static_cast<unsigned>(uint64_t{step} * 100 / total);
    const unsigned barWidth = width > 60 ? 30 : 10;
    const unsigned filled = static_cast<unsigned>(uint64_t{step} * barWidth / total);
    std::string bar(filled, '#');
    bar += std::string(barWidth - filled, '.');
    const double left = step == 0 ? 0.0 : elapsedSeconds * (total - step) / step;
    const unsigned seconds = static_cast<unsigned>(left + 0.5);
    std::snprintf(text, sizeof text, "%s [%s] %3u%% step %u of %u, %u:%02u left", label.c_str(), bar.c_str(), percent,
                  static_cast<unsigned>(step), static_cast<unsigned>(total), seconds / 60, seconds % 60);
    return text;
}

void ProgressDisplay::Update(uint32_t step, uint32_t total) {
    if (!active_) return;
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && now - lastDraw_ < std::chrono::milliseconds(100) && step != total) return;
    lastDraw_ = now;
    const unsigned width = TerminalWidth(stderr);
    std::string line = Line(label_, step, total, std::chrono::duration<double>(now - start_).count(), width);
    if (line.size() >= width) line.resize(width - 1);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void ProgressDisplay::Clear() {
    if (!active_ || !shown_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace tallyx::cli

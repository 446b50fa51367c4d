#include "reader/terminal_status.h"

#include "platform/console.h"

namespace tallyx {

namespace {

// Back to the line's start, then erase to its end.
constexpr const char* kRewind = "\r\033[K";

}  // namespace

bool TerminalStatus::IsTerminal(std::FILE* file) { return tallyx::IsTerminal(file); }

void TerminalStatus::Show(const std::string& text) {
    if (!enabled_) return;
    std::fprintf(console_, "%s%s", kRewind, text.c_str());
    std::fflush(console_);
    visible_ = true;
}

void TerminalStatus::Clear() {
    if (!enabled_ || !visible_) return;
    std::fputs(kRewind, console_);
    std::fflush(console_);
    visible_ = false;
}

}  // namespace tallyx

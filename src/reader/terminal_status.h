#pragma once
// One console line that is rewritten in place to show what the reader is doing,
// for people watching a terminal. Disabled, it writes nothing at all.
#include <cstdio>
#include <string>

namespace tallyx {

class TerminalStatus {
public:
    TerminalStatus(std::FILE* console, bool enabled) : console_(console), enabled_(enabled) {}

    // True when the file is a terminal.
    static bool IsTerminal(std::FILE* file);

    // Replaces the line's text.
    void Show(const std::string& text);

    // Empties the line, so that ordinary output can follow on it.
    void Clear();

    bool Enabled() const { return enabled_; }

private:
    std::FILE* console_;
    bool enabled_;
    bool visible_ = false;
};

}  // namespace tallyx

#pragma once
// Reading what a test's program wrote: a file's bytes, and a text's lines.
#include <string>
#include <vector>

namespace tallyx::test {

// The bytes of a file as they are; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// The lines of a text without their line feeds.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace tallyx::test

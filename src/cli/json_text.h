#pragma once
// A JSON string literal for a text (quotes, backslashes and control
// characters escaped; other bytes passed through).
#include <string>

namespace tallyx::cli {

std::string JsonString(const std::string& text);

}  // namespace tallyx::cli

#pragma once
// Text for the report page: the study's 8-bit texts made safe for HTML, the
// document made safe inside a script element, and numbers as the tables show
// them.
#include <cstdint>
#include <string>
#include <string_view>

namespace tallyx::report {

// A text of the study for the page's HTML: the markup characters escaped,
// valid UTF-8 kept, every other byte from 0x80 up read as Latin-1 (the
// counter's texts are 8-bit), control characters shown as U+FFFD.
std::string HtmlText(std::string_view text);

// JSON text for a <script type="application/json"> element: every "<" written
// as \u003c, so that nothing in it can end or change the element, and bytes
// that are not UTF-8 read as Latin-1. JSON.parse reads it to the same value.
std::string ScriptJson(std::string_view json);

// A count with its thousands grouped: 1,234,567.
std::string GroupedCount(int64_t n);

// A number with that many decimals and its thousands grouped, ties of the
// exact binary value to even (the same on every platform).
std::string Fixed(double value, int digits);

}  // namespace tallyx::report

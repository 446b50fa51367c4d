#pragma once
// printf-style formatting into a std::string.
#include <cstdarg>
#include <string>

namespace tallyx {

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatTextV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace tallyx

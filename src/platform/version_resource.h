#pragma once
// Version strings of a program file or library, as its version resource holds them.
#include <string>

namespace tallyx {

// The string key ("ProductName", "FileVersion", ...) of the version resource of the module that
// holds anchor, for the first language and code page it lists. Where files carry no version
// resource, or the string is absent, fallback is given (which may be empty).
std::string ModuleVersionString(const void* anchor, const char* key, const char* fallback);

}  // namespace tallyx

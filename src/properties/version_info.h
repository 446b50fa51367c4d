#pragma once
// The library's own version strings, as a version resource would hold them.
#include <string>

namespace tallyx {

const char* LibraryProductName();
// The file version with every "," turned into "." and every blank removed.
std::string LibraryFileVersion();
// The same normalisation for any version text.
std::string NormaliseVersion(const char* version);

}  // namespace tallyx

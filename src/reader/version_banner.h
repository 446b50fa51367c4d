#pragma once
// The program's name, version and copyright, shown on the console and in the log.
#include <cstdio>
#include <string>

#include "reader/reader_log.h"

namespace tallyx {

struct VersionInfo {
    std::string productName;
    std::string fileVersion;
    std::string productVersion;
    std::string legalCopyright;

    // The reader's own version strings, generated at build time.
    static VersionInfo OfReader();
};

// A version written with commas and blanks ("1, 0, 0, 0") in dotted form ("1.0.0.0").
std::string NormaliseVersion(const std::string& version);

// "<name> v<file version>", the first line of the console banner and of --version.
std::string VersionLine(const VersionInfo& info);

// Console: an empty line, name and file version, copyright, an empty line.
void PrintConsoleBanner(std::FILE* console, const VersionInfo& info);

// Log: a rule, name and product version, copyright, a rule.
void LogBanner(ReaderLog& log, const VersionInfo& info);

// The separator line of the log: 36 "=" characters.
extern const char* const kLogRule;

}  // namespace tallyx

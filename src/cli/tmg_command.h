#pragma once
// tallyx tmg: the hourly volume records of a read folder in the federal
// traffic monitoring exchange format, and the check of a file of them.
#include <cstdint>
#include <string>

#include "archive/archive.h"
#include "study/study.h"

namespace tallyx::cli {

struct TmgOptions {
    std::string folder;            // the read folder
    std::string out;               // empty: <folder>/volume.tmg; "-": standard output
    std::string check;             // a file of records to check instead
    std::string state;             // as given; checked by RunTmg
    std::string station;
    std::string functionalClass;
    std::string forwardDirection;  // empty: not given
    std::string reverseDirection;
    std::string lane;              // empty: the site's lane code, else 0
    std::string restriction = "0";
    bool combined = false;
    int64_t archiveId = 0;         // a study of the archive instead of a folder
    std::string archive;           // --archive FILE
};

int RunTmg(const TmgOptions& options);

// The records of a study with the codes of its site's register entry, as tallyx tmg
// --archive-id writes them without options; false with the sentence of the first
// missing or bad code (named by its option) or of a study that cannot be counted.
bool TmgTextOfSite(const study::Study& study, const archive::SiteEntry& site, const std::string& where, std::string& text,
                   std::string& error);

// The help text after the options: the codes of every field.
const char* TmgCodesHelp();

}  // namespace tallyx::cli

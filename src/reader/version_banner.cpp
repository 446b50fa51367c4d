#include "reader/version_banner.h"

#include "tallyx_version.h"

namespace tallyx {

const char* const kLogRule = "====================================";

VersionInfo VersionInfo::OfReader() {
    VersionInfo info;
    info.productName = TALLYREAD_PRODUCT_NAME;
#ifdef TALLYREAD_FILE_VERSION
    info.fileVersion = TALLYREAD_FILE_VERSION;
#else
    info.fileVersion = TALLYREAD_PRODUCT_VERSION;  // the program has one version for both
#endif
    info.productVersion = TALLYREAD_PRODUCT_VERSION;
    info.legalCopyright = TALLYREAD_LEGAL_COPYRIGHT;
    return info;
}

std::string NormaliseVersion(const std::string& version) {
    std::string normalised;
    for (const char c : version) {
        if (c == ' ') continue;
        normalised += c == ',' ? '.' : c;
    }
    return normalised;
}

std::string VersionLine(const VersionInfo& info) {
    return info.productName + " v" + NormaliseVersion(info.fileVersion);
}

void PrintConsoleBanner(std::FILE* console, const VersionInfo& info) {
    std::fprintf(console, "\n");
    std::fprintf(console, "%s v%s\n", info.productName.c_str(), NormaliseVersion(info.fileVersion).c_str());
    std::fprintf(console, "%s\n", info.legalCopyright.c_str());
    std::fprintf(console, "\n");
    std::fflush(console);
}

void LogBanner(ReaderLog& log, const VersionInfo& info) {
    log.Info("%s", kLogRule);
    log.Info("%s v%s", info.productName.c_str(), NormaliseVersion(info.productVersion).c_str());
    log.Info("%s", info.legalCopyright.c_str());
    log.Info("%s", kLogRule);
}

}  // namespace tallyx

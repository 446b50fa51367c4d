#include "reader/version_banner.h"

#include "platform/version_resource.h"
#include "tallyx_version.h"

namespace tallyx {

namespace {

// Something inside the program, so that its own version resource is read.
const char kProgramAnchor = 0;

std::string ProgramVersionString(const char* key, const char* fallback) {
    return ModuleVersionString(&kProgramAnchor, key, fallback);
}

}  // namespace

const char* const kLogRule = "====================================";

VersionInfo VersionInfo::OfReader() {
    VersionInfo info;
    info.productName = ProgramVersionString("ProductName", TALLYREAD_PRODUCT_NAME);
#ifdef TALLYREAD_FILE_VERSION
    info.fileVersion = ProgramVersionString("FileVersion", TALLYREAD_FILE_VERSION);
#else
    // The program has one version for both.
    info.fileVersion = ProgramVersionString("FileVersion", TALLYREAD_PRODUCT_VERSION);
#endif
    info.productVersion = ProgramVersionString("ProductVersion", TALLYREAD_PRODUCT_VERSION);
    info.legalCopyright = ProgramVersionString("LegalCopyright", TALLYREAD_LEGAL_COPYRIGHT);
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

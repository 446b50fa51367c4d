#include "api/version_info.h"

#include "tallyx_version.h"

namespace tallyx {

const char* LibraryProductName() { return TALLYX_PRODUCT_NAME; }

std::string LibraryFileVersion() { return NormaliseVersion(TALLYX_FILE_VERSION); }

std::string NormaliseVersion(const char* version) {
    std::string result;
    for (const char* c = version; c != nullptr && *c != '\0'; ++c) {
        if (*c == ',') {
            result += '.';
        } else if (*c != ' ') {
            result += *c;
        }
    }
    return result;
}

}  // namespace tallyx

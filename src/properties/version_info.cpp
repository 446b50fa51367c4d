#include "properties/version_info.h"

#include "platform/version_resource.h"
#include "tallyx_version.h"

namespace tallyx {

namespace {

// Something inside the library, so that its own version resource is read.
const char kLibraryAnchor = 0;

}  // namespace

const char* LibraryProductName() {
    static const std::string name = ModuleVersionString(&kLibraryAnchor, "ProductName", TALLYX_PRODUCT_NAME);
    return name.c_str();
}

std::string LibraryFileVersion() {
    return NormaliseVersion(ModuleVersionString(&kLibraryAnchor, "FileVersion", TALLYX_FILE_VERSION).c_str());
}

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

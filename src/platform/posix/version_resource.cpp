#include "platform/version_resource.h"

namespace tallyx {

std::string ModuleVersionString(const void* /*anchor*/, const char* /*key*/, const char* fallback) {
    // Files here carry no version resource: the build generates the strings instead.
    return fallback != nullptr ? fallback : "";
}

}  // namespace tallyx

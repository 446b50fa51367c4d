#include "platform/files.h"

namespace tallyx {

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (IsPathSeparator(folder.back())) return folder + name;
    return folder + kPathSeparator + name;
}

}  // namespace tallyx

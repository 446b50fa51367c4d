#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace tallyx {

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string UserDataFolder() {
    // A relative XDG_DATA_HOME is invalid and ignored, as the base directory rules say.
    const std::string xdg = EnvironmentValue("XDG_DATA_HOME");
    if (!xdg.empty() && xdg[0] == '/') return xdg + "/tallyx";
    std::string home = EnvironmentValue("HOME");
    if (home.empty()) {
        const passwd* entry = getpwuid(getuid());
        if (entry != nullptr && entry->pw_dir != nullptr) home = entry->pw_dir;
    }
    return home.empty() ? std::string() : home + "/.local/share/tallyx";
}

}  // namespace tallyx

#include "platform/user_folders.h"

#include <windows.h>

#include <vector>

namespace tallyx {

std::string EnvironmentValue(const char* name) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return std::string();
    std::vector<char> value(size);
    const DWORD got = GetEnvironmentVariableA(name, value.data(), size);
    return got == 0 || got >= size ? std::string() : std::string(value.data(), got);
}

std::string UserDataFolder() {
    const std::string local = EnvironmentValue("LOCALAPPDATA");
    return local.empty() ? std::string() : local + "\\tallyx";
}

}  // namespace tallyx

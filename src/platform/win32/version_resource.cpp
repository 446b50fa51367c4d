#include "platform/version_resource.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace tallyx {

std::string ModuleVersionString(const void* anchor, const char* key, const char* fallback) {
    const std::string otherwise = fallback != nullptr ? fallback : "";
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<const char*>(anchor), &module)) {
        return otherwise;
    }
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path) return otherwise;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) return otherwise;  // a file without a version resource
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(path, 0, size, data.data())) return otherwise;

    // The first language and code page listed; an absent string is the empty text.
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT translationsSize = 0;
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                        &translationsSize) ||
        translationsSize < sizeof(Translation)) {
        return {};
    }
    char query[128];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\%s", translations[0].language,
                  translations[0].codePage, key);
    char* value = nullptr;
    UINT valueLength = 0;
    if (!VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&value), &valueLength) || value == nullptr) {
        return {};
    }
    return std::string(value);
}

}  // namespace tallyx

#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tallyx::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (base != nullptr && base[0] != '\0') ? base : "/tmp";
    pattern += "/tallyx-test-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path = pattern;
}

TempDir::~TempDir() {
    if (path.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

ScopedEnv::ScopedEnv(const char* variable, const char* value) : name(variable) {
    if (const char* old = std::getenv(variable); old != nullptr) previous = old;
    if (value != nullptr) {
        setenv(variable, value, 1);
    } else {
        unsetenv(variable);
    }
}

ScopedEnv::~ScopedEnv() {
    if (previous) {
        setenv(name.c_str(), previous->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
}

}  // namespace tallyx::test

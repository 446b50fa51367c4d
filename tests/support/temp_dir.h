#pragma once
// Scoped helpers for tests: a temporary folder removed with its contents, and
// an environment variable set for a scope.
#include <optional>
#include <string>

namespace tallyx::test {

class TempDir {
public:
    // Creates a fresh folder under $TMPDIR (or /tmp). Path() is empty when
    // that failed.
    TempDir();
    ~TempDir();

    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path; }
    // The path of an entry in the folder.
    std::string Join(const std::string& name) const { return path + "/" + name; }

private:
    std::string path;
};

// Sets (or, with no value, unsets) an environment variable and restores its
// previous state when the scope ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();

    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name;
    std::optional<std::string> previous;
};

}  // namespace tallyx::test

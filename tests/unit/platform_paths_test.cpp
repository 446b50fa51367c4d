// Paths and port names in the system's own terms, on whichever system the tests run: folders
// joined with its separator, the user's paths written back with it, and the device paths that
// name a COM port. (The help texts in the system's words are checked end to end, in the
// tallyx tests that also run against tallyx.exe under Wine.)
#include <cstdlib>
#include <filesystem>
#include <string>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/port_names.h"

namespace tallyx {
namespace {

#if defined(_WIN32)
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// The expected text on this system: a backslash on Windows where the case writes "|", a slash
// elsewhere.
std::string Expected(std::string text) {
    for (char& c : text) {
        if (c == '|') c = kWindows ? '\\' : '/';
    }
    return text;
}

TEST(PlatformPaths, JoinWithTheSystemsSeparatorAndNativePathsUseIt) {
    const struct {
        const char* folder;
        const char* name;
        const char* joined;
    } joins[] = {
        {"site12", "volume.tmg", "site12|volume.tmg"},
        {"site12|", "volume.tmg", "site12|volume.tmg"},
        {"", "volume.tmg", "volume.tmg"},
        {"site12", "", "site12|"},
        {"|", "data", "|data"},
    };
    for (const auto& c : joins) {
        EXPECT_EQ(JoinPath(Expected(c.folder), c.name), Expected(c.joined)) << c.folder << " + " << c.name;
    }
    // A folder the user wrote with the other separator keeps it; JoinPath adds none twice.
    EXPECT_EQ(JoinPath("a/", "b"), "a/b");

    // What the user typed, written back as the system writes paths: a Windows user who types
    // C:/counts/site12 reads C:\counts\site12 in every message.
    const struct {
        const char* given;
        const char* windows;
    } natives[] = {
        {"C:/counts/site12", "C:\\counts\\site12"},
        {"Z:\\tmp\\wread/volume.tmg", "Z:\\tmp\\wread\\volume.tmg"},
        {"relative/dir/", "relative\\dir\\"},
        {"-", "-"},
        {"", ""},
    };
    for (const auto& c : natives) {
        EXPECT_EQ(NativePath(c.given), kWindows ? c.windows : c.given) << c.given;
    }
}

TEST(PlatformPaths, DevicePathsNameTheirComPort) {
#if defined(_WIN32)
    const struct {
        const char* path;
        uint32_t number;  // 0: no COM port
    } cases[] = {
        {"\\\\.\\COM12", 12}, {"\\\\.\\com3", 3},   {"\\\\.\\COM299", 299}, {"\\\\.\\COM300", 0},
        {"\\\\.\\COM0", 0},   {"\\\\.\\COM012", 0}, {"\\\\.\\LPT1", 0},     {"COM3", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComNumberOfDevice(c.path, 299), c.number) << c.path;
        EXPECT_EQ(IsDevicePathForm(c.path), std::string(c.path).rfind("\\\\.\\", 0) == 0) << c.path;
    }
    EXPECT_EQ(PortDevicePath(12), "\\\\.\\COM12");
    EXPECT_FALSE(IsDevicePathForm("/dev/ttyUSB0"));
#else
    EXPECT_TRUE(IsDevicePathForm("/dev/ttyUSB0"));
    EXPECT_FALSE(IsDevicePathForm("COM3"));
    EXPECT_FALSE(IsDevicePathForm("\\\\.\\COM12"));
    // With the ports published in a folder, the device behind an entry is that COM port,
    // whichever path leads to it; a device no entry leads to is none.
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("tallyx-ports-" + std::to_string(getpid()));
    fs::create_directories(folder);
    fs::create_symlink("/dev/null", folder / "COM7");
    const char* before = std::getenv("TALLYX_PORT_DIR");
    const std::string saved = before != nullptr ? before : "";
    setenv("TALLYX_PORT_DIR", folder.c_str(), 1);
    EXPECT_EQ(ComNumberOfDevice("/dev/null", 299), 7u);
    EXPECT_EQ(ComNumberOfDevice((folder / "COM7").string(), 299), 7u);
    EXPECT_EQ(ComNumberOfDevice("/dev/null", 6), 0u);
    EXPECT_EQ(ComNumberOfDevice("/dev/zero", 299), 0u);
    EXPECT_EQ(ComNumberOfDevice("/nonexistent", 299), 0u);
    if (before != nullptr) {
        setenv("TALLYX_PORT_DIR", saved.c_str(), 1);
    } else {
        unsetenv("TALLYX_PORT_DIR");
    }
    fs::remove_all(folder);
#endif
}

}  // namespace
}  // namespace tallyx

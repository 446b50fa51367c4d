// The platform layer as the rest of the library sees it, on whichever system the tests run:
// files and folders, local time, serial ports that are not there, the loader and version strings.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "platform/calendar_time.h"
#include "platform/dynamic_library.h"
#include "platform/file_status.h"
#include "platform/files.h"
#include "platform/process_ids.h"
#include "platform/serial_line.h"
#include "platform/version_resource.h"
#include "platform/win32_error.h"

namespace tallyx {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class PlatformSeamTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = (fs::temp_directory_path() / ("tallyx-seam-" + std::to_string(CurrentProcessId()))).string();
        fs::remove_all(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string In(const char* name) const { return folder_ + kPathSeparator + name; }
    std::string folder_;
};

TEST_F(PlatformSeamTest, FoldersAreMadeFoundAndRemoved) {
    EXPECT_EQ(QueryFolder(folder_), FolderState::Missing);
    ASSERT_TRUE(MakeFolder(folder_));
    EXPECT_TRUE(MakeFolder(folder_));  // already there
    EXPECT_EQ(QueryFolder(folder_), FolderState::Exists);
    EXPECT_TRUE(PathExists(folder_));
    EXPECT_TRUE(RemoveEmptyFolder(folder_));
    EXPECT_FALSE(PathExists(folder_));
}

TEST_F(PlatformSeamTest, AppendsGoToTheEndAndStatusFollowsTheFile) {
    ASSERT_TRUE(MakeFolder(folder_));
    const std::string path = In("log.txt");
    const FileHandle file = OpenAppendFile(path);
    ASSERT_NE(file, kNoFile);
    EXPECT_TRUE(AppendWhole(file, "one ", 4));
    EXPECT_TRUE(AppendWholeToFile(path.c_str(), "two ", 4));  // another opener meanwhile
    EXPECT_TRUE(AppendWhole(file, "three", 5));
    const FileStatus open = QueryOpenFileStatus(file);
    const FileStatus named = QueryFileStatus(path);
    EXPECT_TRUE(open.SameFileAs(named));
    EXPECT_EQ(named.size, 13u);
    EXPECT_GT(named.createdSeconds, 1500000000);
    CloseFile(file);
    EXPECT_EQ(ReadAll(path), "one two three");

    // Text ends its lines the way the system's text files do.
    const std::string text = In("text.txt");
    ASSERT_TRUE(AppendWholeTextToFile(text.c_str(), "a\nb\n", 4));
    const std::string lineEnd = kPathSeparator == '\\' ? "\r\n" : "\n";
    EXPECT_EQ(ReadAll(text), "a" + lineEnd + "b" + lineEnd);

    EXPECT_TRUE(ReplaceFileWith(text, path));
    EXPECT_FALSE(QueryFileStatus(text).exists);
    EXPECT_TRUE(RemoveFile(path));
    EXPECT_FALSE(RemoveFile(path));
    EXPECT_FALSE(QueryFileStatus(path).exists);
    EXPECT_FALSE(QueryOpenFileStatus(kNoFile).exists);
}

TEST(PlatformSeam, LocalTimeKeepsMillisecondsAndPlacesDates) {
    const CalendarTime now = LocalCalendarTimeNow();
    EXPECT_GE(now.year, 2024);
    EXPECT_LT(now.milliseconds, 1000);
    // Mid-June 2009 at noon UTC is 14 June or 15 June in every zone, and keeps its milliseconds.
    const CalendarTime june = LocalCalendarTimeAt(1245067200, 42000000);
    EXPECT_EQ(june.year, 2009);
    EXPECT_EQ(june.month, 6);
    EXPECT_TRUE(june.day == 15 || june.day == 16) << june.day;
    EXPECT_EQ(june.milliseconds, 42);
    uint16_t dayOfWeek = 9;
    ASSERT_TRUE(LocalDayOfWeek(2009, 3, 7, 14, 5, 9, &dayOfWeek));
    EXPECT_EQ(dayOfWeek, 6);  // a Saturday
    ASSERT_TRUE(LocalDayOfWeek(2009, 13, 1, 0, 0, 0, &dayOfWeek));
    EXPECT_EQ(dayOfWeek, 5);  // month 13 carries over into January 2010, a Friday
}

TEST(PlatformSeam, APortThatIsNotThereIsFileNotFound) {
    SerialLine* line = reinterpret_cast<SerialLine*>(1);
    EXPECT_EQ(OpenSerialLine("COM299", true, &line), kErrorFileNotFound);
    EXPECT_EQ(line, nullptr);
    CloseSerialLine(nullptr);
}

TEST(PlatformSeam, LoaderAndVersionStringsFallBackQuietly) {
    EXPECT_EQ(LoadDynamicLibrary("tallyx-no-such-library"), nullptr);
    // The test program carries no version resource of its own.
    static const char anchor = 0;
    EXPECT_EQ(ModuleVersionString(&anchor, "ProductName", "fallback"), "fallback");
    const std::string program = RunningProgramPath();
    EXPECT_TRUE(PathExists(program)) << program;
    EXPECT_TRUE(IsPathSeparator(kPathSeparator));
}

}  // namespace
}  // namespace tallyx

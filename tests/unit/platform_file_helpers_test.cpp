// File status and the append lock.
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/posix/file_lock.h"
#include "platform/file_status.h"

namespace tallyx {
namespace {

namespace fs = std::filesystem;

class PlatformFileTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tallyx-file-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        path_ = root_ + "/file.log";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string root_;
    std::string path_;
};

TEST_F(PlatformFileTest, StatusTellsExistenceSizeIdentityAndCreation) {
    EXPECT_FALSE(QueryFileStatus(path_).exists);
    EXPECT_FALSE(QueryFileStatus("").exists);
    EXPECT_FALSE(QueryOpenFileStatus(-1).exists);

    const time_t before = std::time(nullptr);
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "12345", 5), 5);
    const FileStatus byName = QueryFileStatus(path_);
    const FileStatus byHandle = QueryOpenFileStatus(fd);
    ASSERT_TRUE(byName.exists);
    EXPECT_EQ(byName.size, 5u);
    EXPECT_TRUE(byName.SameFileAs(byHandle));
    EXPECT_GE(byName.createdSeconds, before - 1);
    EXPECT_LE(byName.createdSeconds, std::time(nullptr) + 1);

    // A new file under the same name is another file.
    ASSERT_EQ(unlink(path_.c_str()), 0);
    const int other = open(path_.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(other, 0);
    EXPECT_FALSE(QueryFileStatus(path_).SameFileAs(byHandle));
    close(other);
    close(fd);
}

TEST_F(PlatformFileTest, LockGuardExcludesOtherOpenersUntilReleased) {
    const int first = open(path_.c_str(), O_WRONLY | O_CREAT, 0644);
    const int second = open(path_.c_str(), O_WRONLY);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    {
        FileLockGuard guard(first);
        EXPECT_TRUE(guard.Locked());
        EXPECT_EQ(flock(second, LOCK_EX | LOCK_NB), -1);
        EXPECT_EQ(errno, EWOULDBLOCK);
    }
    EXPECT_EQ(flock(second, LOCK_EX | LOCK_NB), 0);
    flock(second, LOCK_UN);
    FileLockGuard none(-1);
    EXPECT_FALSE(none.Locked());
    close(second);
    close(first);
}

}  // namespace
}  // namespace tallyx

// File and folder exports: sizes, volume space, absolute paths, current folder
// and streams.
#include "qvutil/qvutil.h"
#include "tests/support/testsupport.h"

#include <climits>
#include <cstdio>
#include <fcntl.h>

namespace {

using testsupport::readFile;
using testsupport::writeFile;

class Files : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(getcwd(startDir_, sizeof startDir_)); }
    void TearDown() override { ASSERT_EQ(chdir(startDir_), 0); }

    testsupport::TempDir dir;

private:
    char startDir_[PATH_MAX];
};

TEST_F(Files, FileSizeIsTheSmallerOfLengthAndAllocation)
{
    double size = -1;
    writeFile(dir / "five", "12345");
    ASSERT_EQ(qvuFileSize((dir / "five").c_str(), &size), 1);
    EXPECT_EQ(size, 5);

    int fd = open((dir / "sparse").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(ftruncate(fd, 10 << 20), 0);
    close(fd);
    ASSERT_EQ(qvuFileSize((dir / "sparse").c_str(), &size), 1);
    EXPECT_LT(size, 10 << 20);

    size = 42;
    EXPECT_EQ(qvuFileSize((dir / "missing").c_str(), &size), 0);
    EXPECT_EQ(qvuFileSize(dir.path().c_str(), &size), 0);
    EXPECT_EQ(size, 42);
    EXPECT_EQ(qvuFileSize((dir / "five").c_str(), nullptr), 0);
}

TEST_F(Files, DiskSpaceOfTheVolume)
{
    double freeBytes = -1, totalBytes = -1;
    ASSERT_EQ(qvuDiskSpace(dir.path().c_str(), &freeBytes, &totalBytes), 1);
    EXPECT_GT(totalBytes, 0);
    EXPECT_GE(freeBytes, 0);
    EXPECT_LE(freeBytes, totalBytes);

    freeBytes = totalBytes = 42;
    EXPECT_EQ(qvuDiskSpace((dir / "missing").c_str(), &freeBytes, &totalBytes), 0);
    EXPECT_EQ(freeBytes, 42);
    EXPECT_EQ(totalBytes, 42);
}

TEST_F(Files, FullPathIsAbsoluteAndNormalised)
{
    ASSERT_EQ(qvuSetCurDir(dir.path().c_str()), 1);
    EXPECT_EQ(qvuSetCurDir((dir / "missing").c_str()), 0);
    EXPECT_EQ(qvuSetCurDir(nullptr), 0);

    const struct {
        const char* path;
        std::string expected;
    } cases[] = {
        { "", dir.path() },
        { "a/../b/./c", dir / "b/c" },
        { "b/", dir / "b/" },
        { "/a//b/../", "/a/" },
        { "/..", "/" },
        { "/../x/.", "/x" },
        { "/", "/" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        char buf[PATH_MAX];
        ASSERT_EQ(qvuFullPath(c.path, buf, sizeof buf), 1);
        EXPECT_EQ(buf, c.expected);
    }

    char small[4] = "xyz";
    EXPECT_EQ(qvuFullPath("/abc", small, sizeof small), 0);
    EXPECT_STREQ(small, "xyz");
    char exact[5];
    EXPECT_EQ(qvuFullPath("/abc", exact, sizeof exact), 1);
    EXPECT_EQ(qvuFullPath(nullptr, exact, sizeof exact), 0);
    EXPECT_EQ(qvuFullPath("/abc", nullptr, 5), 0);
}

TEST_F(Files, StreamRoundTrip)
{
    const std::string file = dir / "out.txt";
    intptr_t stream = qvuFopen(file.c_str(), "w");
    ASSERT_NE(stream, 0);
    EXPECT_TRUE(fcntl(fileno(reinterpret_cast<FILE*>(stream)), F_GETFD) & FD_CLOEXEC);
    EXPECT_GE(qvuFputs("first line\n", stream), 0);
    EXPECT_EQ(readFile(file), "first line\n"); // flushed at once
    EXPECT_EQ(qvuFclose(stream), 0);

    EXPECT_EQ(qvuFopen((dir / "missing/x").c_str(), "r"), 0);
    EXPECT_EQ(qvuFopen(file.c_str(), nullptr), 0);
}

TEST_F(Files, StreamCallsRefuseUnknownHandles)
{
    int notAStream = 0;
    const intptr_t bogus = reinterpret_cast<intptr_t>(&notAStream);
    intptr_t closed = qvuFopen((dir / "f").c_str(), "w");
    ASSERT_NE(closed, 0);
    ASSERT_EQ(qvuFclose(closed), 0);
    for (intptr_t handle : { intptr_t(0), bogus, closed }) {
        EXPECT_EQ(qvuFclose(handle), EOF);
        EXPECT_LT(qvuFputs("text", handle), 0);
    }
    intptr_t open = qvuFopen((dir / "g").c_str(), "w");
    EXPECT_LT(qvuFputs(nullptr, open), 0);
    EXPECT_EQ(qvuFclose(open), 0);
}

TEST_F(Files, FputsReportsFailedFlush)
{
    intptr_t full = qvuFopen("/dev/full", "w");
    if (!full)
        GTEST_SKIP() << "no /dev/full";
    EXPECT_LT(qvuFputs("lost", full), 0);
    qvuFclose(full);
}

} // namespace

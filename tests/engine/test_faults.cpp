#include "engine/diffcopy.h"
#include "recorder.h"
#include "tests/support/testsupport.h"

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

using testsupport::namesIn;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

using Faults = EngineTest;

} // namespace

TEST_F(Faults, ReadOnlyDestinationIsLeftAsItWas)
{
    writeFile(src + "/doc.txt", "new text", 2000);
    writeFile(dst + "/doc.txt", "old text", 1000);
    chmod((dst + "/doc.txt").c_str(), 0444);
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.errors[0], std::strerror(EACCES));
    EXPECT_EQ(readFile(dst + "/doc.txt"), "old text");
    EXPECT_EQ(namesIn(dst), std::vector<std::string> { "doc.txt" });
}

TEST_F(Faults, UnreadableSourceIsReportedAndNothingIsLeft)
{
    writeFile(src + "/secret", "s");
    writeFile(src + "/open", "o");
    chmod(dir.path().c_str(), 0777);
    chmod(src.c_str(), 0755);
    testsupport::makeDirs(dst);
    chmod(dst.c_str(), 0777);
    chmod((src + "/secret").c_str(), 0600);
    const std::string from = src, to = dst;
    EXPECT_TRUE(testsupport::asUnprivileged([&] {
        Recorder unprivileged;
        DiffCopy run(unprivileged);
        return run.CopyNews(from, to, 0, false) == 0 && unprivileged.errors.size() == 1
            && unprivileged.errors[0] == std::strerror(EACCES) && namesIn(to) == std::vector<std::string> { "open" };
    }));
}

TEST_F(Faults, FullVolumeKeepsTheOldDestination)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small volume needs root";
    testsupport::makeDirs(dst);
    if (mount("tmpfs", dst.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount { dst };

    writeFile(dst + "/big.bin", "old and small", 1000);
    writeFile(src + "/big.bin", std::string(2 << 20, 'n'), 2000);
    writeFile(src + "/zsmall.txt", "fits", 2000);
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.errors[0], std::strerror(ENOSPC));
    EXPECT_EQ(readFile(dst + "/big.bin"), "old and small");
    EXPECT_EQ(readFile(dst + "/zsmall.txt"), "fits");
    EXPECT_EQ(namesIn(dst), (std::vector<std::string> { "big.bin", "zsmall.txt" }));
}

TEST_F(Faults, FolderThatCannotBeListedIsReportedWithItsPaths)
{
    writeFile(src + "/closed/inside", "i");
    writeFile(src + "/zopen/file", "f");
    chmod(dir.path().c_str(), 0777);
    chmod((src + "/closed").c_str(), 0300);
    testsupport::makeDirs(dst);
    chmod(dst.c_str(), 0777);
    const std::string from = src, to = dst;
    EXPECT_TRUE(testsupport::asUnprivileged([&] {
        // The unprivileged user needs to own the source to walk it.
        Recorder unprivileged;
        DiffCopy run(unprivileged);
        std::int32_t result = run.CopyNews(from, to, 0, true);
        return result == 0 && unprivileged.errors.size() == 1
            && unprivileged.only("error " + from + "/closed -> " + to + "/closed: ").size() == 1
            && readFile(to + "/zopen/file") == "f";
    }));
}

TEST_F(Faults, FileThatVanishesBeforeItsTurnIsReported)
{
    writeFile(src + "/a", "a");
    writeFile(src + "/b", "b");
    // The first file decided removes the other one before its turn (which
    // comes after the first file's events with one copy at a time).
    engine.setParallelCopies(1);
    recorder.onFileChecked
        = [&](const std::string& path) { unlink((path.back() == 'a' ? src + "/b" : src + "/a").c_str()); };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.errors[0], std::strerror(ENOENT));
    EXPECT_EQ(namesIn(dst).size(), 1u);
}

TEST_F(Faults, PathBeyondTheSystemLimitIsReportedAndSkipped)
{
    // Build a chain of folders longer than PATH_MAX, relative to open descriptors.
    writeFile(src + "/near", "n");
    const std::string name(200, 'd');
    int fd = open(src.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 25; ++level) {
        ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
        int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    close(fd);

    recorder.defaultReply = ErrorReply::SkipAll;
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_FALSE(recorder.errors.empty());
    EXPECT_EQ(recorder.errors.back(), std::strerror(ENAMETOOLONG));
    EXPECT_EQ(readFile(dst + "/near"), "n");

    // The chain is too deep for an ordinary removal: take it down level by level.
    for (const std::string& root : { src, dst }) {
        for (;;) {
            std::string path = root;
            int parent = open(root.c_str(), O_RDONLY | O_DIRECTORY);
            int child;
            while ((child = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY)) >= 0) {
                if (faccessat(child, name.c_str(), F_OK, 0) != 0) {
                    close(child);
                    break;
                }
                close(parent);
                parent = child;
            }
            bool removed = unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
            close(parent);
            if (!removed)
                break;
        }
    }
}

// qvuCopyFile: the copy replaces the destination whole, and every failure
// leaves the destination folder exactly as it was (old file intact, no
// temporary behind).
#include "qvutil/qvutil.h"
#include "tests/support/testsupport.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>

namespace {

using testsupport::mtimeOf;
using testsupport::namesIn;
using testsupport::readFile;
using testsupport::writeFile;
using Names = std::vector<std::string>;

class CopyFile : public testing::Test {
protected:
    void TearDown() override
    {
        for (const std::string& mountPoint : mounts_)
            umount2(mountPoint.c_str(), MNT_DETACH);
    }

    std::string path(const std::string& name) const { return dir / name; }

    int copy(const std::string& src, const std::string& dst)
    {
        std::memset(message, 0, sizeof message);
        return qvuCopyFile(path(src).c_str(), path(dst).c_str(), sizeof message, message);
    }

    // A tmpfs of SIZE at NAME in the test's folder; false when it cannot be had.
    bool mountTmpfs(const std::string& name, const char* size)
    {
        mkdir(path(name).c_str(), 0755);
        if (geteuid() != 0 || mount("tmpfs", path(name).c_str(), "tmpfs", 0, size) != 0)
            return false;
        mounts_.push_back(path(name));
        return true;
    }

    testsupport::TempDir dir;
    char message[256] = {};

private:
    std::vector<std::string> mounts_;
};

TEST_F(CopyFile, CreatesNewFile)
{
    writeFile(path("src"), "hello");
    ASSERT_EQ(copy("src", "dst"), 0);
    EXPECT_EQ(readFile(path("dst")), "hello");
    EXPECT_EQ(namesIn(dir.path()), (Names { "dst", "src" }));
}

TEST_F(CopyFile, ReplacesDestinationWithContentModeAndTimes)
{
    writeFile(path("src"), std::string(100000, 'n'));
    chmod(path("src").c_str(), 0640);
    const timespec times[2] = { { 1000000000, 123456789 }, { 1500000000, 987654321 } };
    ASSERT_EQ(utimensat(AT_FDCWD, path("src").c_str(), times, 0), 0);
    writeFile(path("dst"), "an older and longer text than the source's first bytes");
    chmod(path("dst").c_str(), 0666);

    ASSERT_EQ(copy("src", "dst"), 0) << message;
    struct stat st;
    ASSERT_EQ(stat(path("dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, times[1].tv_nsec);
    EXPECT_EQ(st.st_atim.tv_nsec, times[0].tv_nsec);
    EXPECT_EQ(readFile(path("dst")), std::string(100000, 'n'));
    EXPECT_EQ(namesIn(dir.path()), (Names { "dst", "src" }));
}

TEST_F(CopyFile, PermissionBitsGetPastTheUmask)
{
    const mode_t saved = umask(022);
    for (mode_t mode : { 0644, 0755, 0666, 0600, 02755 }) {
        writeFile(path("src"), "x");
        chmod(path("src").c_str(), mode);
        unlink(path("dst").c_str());
        ASSERT_EQ(copy("src", "dst"), 0) << message;
        struct stat st;
        ASSERT_EQ(stat(path("dst").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
    }
    umask(saved);
}

TEST_F(CopyFile, RefusesReadOnlyDestinationAndKeepsIt)
{
    // Small files are copied before the destination is examined, large ones after.
    for (size_t size : { size_t(3), size_t(3) << 20 }) {
        SCOPED_TRACE(size);
        writeFile(path("src"), std::string(size, 'n'));
        writeFile(path("dst"), "old");
        chmod(path("dst").c_str(), 0444);
        EXPECT_EQ(copy("src", "dst"), EACCES);
        EXPECT_STREQ(message, strerror(EACCES));
        EXPECT_EQ(readFile(path("dst")), "old");
        EXPECT_EQ(namesIn(dir.path()), (Names { "dst", "src" }));
        unlink(path("dst").c_str());
    }
}

// What the caller says it knows of the destination spares look-ups, but a
// destination that is not as it was said to be still gets every check.
TEST_F(CopyFile, WhatTheCallerKnowsIsNoLicence)
{
    struct Row {
        const char* name;
        int32_t known;
        const char* before; // the destination's content, or null when missing
        mode_t mode;
        int code;
        const char* after;
    };
    const Row rows[] = {
        { "MissingAndSoItIs", QVU_DST_MISSING, nullptr, 0644, 0, "new" },
        { "SaidMissingButWritable", QVU_DST_MISSING, "old", 0644, 0, "new" },
        { "SaidMissingButReadOnly", QVU_DST_MISSING, "old", 0444, EACCES, "old" },
        { "SaidReplaceableButGone", QVU_DST_REPLACEABLE, nullptr, 0644, 0, "new" },
        { "AnUnknownWordIsIgnored", 7, "old", 0444, EACCES, "old" },
    };
    for (size_t size : { size_t(3), size_t(3) << 20 }) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + " " + std::to_string(size));
            const std::string content = std::string(size, 'n');
            writeFile(path("src"), content);
            if (row.before) {
                writeFile(path("dst"), row.before);
                chmod(path("dst").c_str(), row.mode);
            }
            timespec stamped[2];
            EXPECT_EQ(
                qvuCopyFileKnown(path("src").c_str(), path("dst").c_str(), row.known, 0, nullptr, nullptr, stamped),
                row.code);
            struct stat source;
            ASSERT_EQ(stat(path("src").c_str(), &source), 0);
            EXPECT_EQ(stamped[1].tv_sec, row.code == 0 ? source.st_mtim.tv_sec : 0);
            EXPECT_EQ(stamped[1].tv_nsec, row.code == 0 ? source.st_mtim.tv_nsec : 0);
            EXPECT_EQ(readFile(path("dst")), row.code == 0 ? content : std::string(row.after));
            EXPECT_EQ(namesIn(dir.path()), (Names { "dst", "src" }));
            unlink(path("dst").c_str());
        }
    }
}

TEST_F(CopyFile, RefusesWhatItCannotCopy)
{
    writeFile(path("src"), "data");
    writeFile(path("big"), std::string(size_t(2) << 20, 'b'));
    writeFile(path("keep"), "kept");
    mkdir(path("folder").c_str(), 0755);
    mkfifo(path("fifo").c_str(), 0644);
    const struct {
        const char* src;
        const char* dst;
        int code;
    } cases[] = {
        { "missing", "dst", ENOENT },
        { "folder", "dst", EISDIR },
        { "fifo", "dst", EINVAL }, // must not block either
        { "src", "no-such-folder/dst", ENOENT },
        { "src", "folder", EISDIR },
        { "src", "fifo", EINVAL }, // a FIFO is not replaced by a file
        { "src", "keep/dst", ENOTDIR },
        { "big", "folder", EISDIR },
        { "big", "fifo", EINVAL },
    };
    // Opening a FIFO would release a writer waiting on it and lose its data.
    const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(opens, path("fifo").c_str(), IN_OPEN), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.src) + " -> " + c.dst);
        EXPECT_EQ(copy(c.src, c.dst), c.code);
        EXPECT_STREQ(message, strerror(c.code));
        EXPECT_EQ(namesIn(dir.path()), (Names { "big", "fifo", "folder", "keep", "src" }));
    }
    EXPECT_TRUE(namesIn(path("folder")).empty());
    char event[sizeof(inotify_event) + NAME_MAX + 1];
    EXPECT_LT(read(opens, event, sizeof event), 0) << "the FIFO was opened";
    close(opens);
}

TEST_F(CopyFile, WritesMessageOnlyWhenItFits)
{
    const std::string missing = path("missing"), dst = path("dst");
    const size_t length = std::strlen(strerror(ENOENT));
    std::string buf(length, 'x');
    EXPECT_EQ(qvuCopyFile(missing.c_str(), dst.c_str(), static_cast<int32_t>(length), buf.data()), ENOENT);
    EXPECT_EQ(buf, std::string(length, 'x'));
    buf.push_back('x');
    EXPECT_EQ(qvuCopyFile(missing.c_str(), dst.c_str(), static_cast<int32_t>(length + 1), buf.data()), ENOENT);
    EXPECT_STREQ(buf.c_str(), strerror(ENOENT));

    EXPECT_EQ(qvuCopyFile(missing.c_str(), dst.c_str(), 0, nullptr), ENOENT);
    EXPECT_EQ(qvuCopyFile(missing.c_str(), dst.c_str(), -1, message), ENOENT);
    EXPECT_EQ(qvuCopyFile(nullptr, dst.c_str(), sizeof message, message), EINVAL);
    EXPECT_STREQ(message, strerror(EINVAL));
    EXPECT_EQ(qvuCopyFile(missing.c_str(), nullptr, 0, nullptr), EINVAL);
}

TEST_F(CopyFile, FullVolumeKeepsOldDestination)
{
    if (!mountTmpfs("small", "size=1m"))
        GTEST_SKIP() << "needs root to mount a 1 MiB tmpfs";
    writeFile(path("src"), std::string(2 << 20, 's'));
    writeFile(path("small/dst"), "old content");
    EXPECT_EQ(copy("src", "small/dst"), ENOSPC);
    EXPECT_STREQ(message, strerror(ENOSPC));
    EXPECT_EQ(readFile(path("small/dst")), "old content");
    EXPECT_EQ(namesIn(path("small")), (Names { "dst" }));
}

// The counter moves as the data goes, not only at the end: a copy that fails
// part of the way tells how far it came.
TEST_F(CopyFile, CountsTheBytesAsTheyGo)
{
    if (!mountTmpfs("small", "size=12m"))
        GTEST_SKIP() << "needs root to mount a 12 MiB tmpfs";
    constexpr int64_t kSize = 20 << 20;
    writeFile(path("src"), std::string(kSize, 's'));
    int64_t copied = -1;
    EXPECT_EQ(qvuCopyFileCounted(path("src").c_str(), path("dst").c_str(), sizeof message, message, &copied), 0);
    EXPECT_EQ(copied, kSize);

    copied = 0;
    EXPECT_EQ(
        qvuCopyFileCounted(path("src").c_str(), path("small/dst").c_str(), sizeof message, message, &copied), ENOSPC);
    EXPECT_GT(copied, 0);
    EXPECT_LT(copied, kSize);
    EXPECT_EQ(namesIn(path("small")), Names {});
}

// A source written while it is copied would give a copy of neither its old
// content nor its new one: it is copied again, and when it is written again
// it is not copied at all.
TEST_F(CopyFile, ASourceWrittenWhileCopiedIsNotPassedOff)
{
    constexpr int64_t kSize = int64_t(256) << 20;
    for (const bool always : { false, true }) {
        SCOPED_TRACE(always ? "written all along" : "written once");
        writeFile(path("src"), std::string(kSize, 'o'));
        writeFile(path("dst"), "old");
        // A writer that changes the source once a copy of it has begun: once,
        // or for as long as the copy goes on.
        std::atomic<int64_t> copied { 0 };
        std::atomic<bool> over { false };
        std::thread writer([&] {
            while (copied.load() == 0)
                ;
            const int fd = open(path("src").c_str(), O_WRONLY | O_CLOEXEC);
            do
                EXPECT_EQ(pwrite(fd, "n", 1, kSize - 1), 1);
            while (always && !over.load());
            close(fd);
        });
        EXPECT_EQ(qvuCopyFileCounted(path("src").c_str(), path("dst").c_str(), sizeof message, message,
                      reinterpret_cast<int64_t*>(&copied)),
            always ? QVU_SOURCE_CHANGED : 0)
            << message;
        over = true;
        copied = 1;
        writer.join();
        EXPECT_EQ(readFile(path("dst")), always ? "old" : readFile(path("src")));
        EXPECT_EQ(namesIn(dir.path()), (Names { "dst", "src" }));
    }
}

// As an ordinary user, who cannot read everything and lacks the capability
// that linkat(AT_EMPTY_PATH) needs on older kernels.
TEST_F(CopyFile, LeavesTheSourcesAccessTimeAlone)
{
    // An access time older than the modification time is one the kernel would
    // refresh on an ordinary read.
    writeFile(path("src"), "read me");
    const timespec times[2] = { { 1000000000, 0 }, { 1500000000, 0 } };
    ASSERT_EQ(utimensat(AT_FDCWD, path("src").c_str(), times, 0), 0);
    ASSERT_EQ(copy("src", "dst"), 0) << message;
    struct stat st;
    ASSERT_EQ(stat(path("src").c_str(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
}

TEST_F(CopyFile, UnprivilegedCopies)
{
    chmod(dir.path().c_str(), 0777);
    writeFile(path("secret"), "secret");
    chmod(path("secret").c_str(), 0600);
    writeFile(path("public"), "public");
    const std::string secret = path("secret"), open = path("public"), dst = path("dst");
    EXPECT_TRUE(testsupport::asUnprivileged([&] {
        return qvuCopyFile(secret.c_str(), dst.c_str(), 0, nullptr) == EACCES
            && qvuCopyFile(open.c_str(), dst.c_str(), 0, nullptr) == 0
            && qvuCopyFile(open.c_str(), dst.c_str(), 0, nullptr) == 0;
    }));
    EXPECT_EQ(readFile(dst), "public");
    EXPECT_EQ(namesIn(dir.path()), (Names { "dst", "public", "secret" }));
}

TEST_F(CopyFile, CopiesNamesAsBytes)
{
    const std::string longName(255, 'L'); // the hidden temporary's name must be shortened
    writeFile(path(longName), "existing");
    for (const std::string name : { "caf\xe9", "new\nline", "tab\tname", longName.c_str() }) {
        SCOPED_TRACE(name);
        writeFile(path("src"), name);
        ASSERT_EQ(copy("src", name), 0) << message;
        EXPECT_EQ(readFile(path(name)), name);
        mkdir(path("out").c_str(), 0755);
        ASSERT_EQ(copy(name, "out/" + name), 0) << message;
        EXPECT_EQ(readFile(path("out/" + name)), name);
    }
    EXPECT_EQ(namesIn(path("out")).size(), 4u);
}

// 64 MiB with a hole and an odd length, within the volume (copy_file_range)
// and, as root, onto a tmpfs (read and write).
TEST_F(CopyFile, CopiesLargeFileExactly)
{
    std::string content(1 << 20, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7 + i / 4096);
    int fd = open(path("src").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, content.data(), content.size(), 0), static_cast<ssize_t>(content.size()));
    ASSERT_EQ(pwrite(fd, content.data(), content.size(), 40 << 20), static_cast<ssize_t>(content.size()));
    ASSERT_EQ(ftruncate(fd, (64 << 20) + 123), 0);
    close(fd);
    const std::string expected = readFile(path("src"));

    ASSERT_EQ(copy("src", "dst"), 0) << message;
    EXPECT_TRUE(readFile(path("dst")) == expected);
    if (mountTmpfs("other", "size=80m")) {
        ASSERT_EQ(copy("src", "other/dst"), 0) << message;
        EXPECT_TRUE(readFile(path("other/dst")) == expected);
    }
}

// Holes stay holes: the copy takes the room of the source's data only, onto
// the same volume (copy_file_range) and, as root, onto a tmpfs too small for
// the filled-in length (read and write), and it gets the full length even
// where the source ends in a hole.
TEST_F(CopyFile, KeepsHolesAsHoles)
{
    constexpr off_t kLength = 64 << 20;
    const struct {
        const char* name;
        std::vector<off_t> dataAt; // 64 KiB of data at each
        off_t length;
    } layouts[] = {
        { "data at both ends", { 0, kLength - (64 << 10) }, kLength },
        { "ends in a hole", { 1 << 20, 9 << 20 }, kLength + 5 },
        { "nothing but a hole", {}, kLength },
    };
    const bool tmpfs = mountTmpfs("small", "size=16m");
    const std::string chunk(64 << 10, 'd');
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        unlink(path("src").c_str());
        int fd = open(path("src").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        for (off_t at : layout.dataAt)
            ASSERT_EQ(pwrite(fd, chunk.data(), chunk.size(), at), static_cast<ssize_t>(chunk.size()));
        ASSERT_EQ(ftruncate(fd, layout.length), 0);
        close(fd);
        const std::string expected = readFile(path("src"));
        const off_t dataBytes = static_cast<off_t>(layout.dataAt.size() * chunk.size());

        std::vector<std::string> targets { "dst" };
        if (tmpfs)
            targets.push_back("small/dst");
        for (const std::string& target : targets) {
            SCOPED_TRACE(target);
            ASSERT_EQ(copy("src", target), 0) << message;
            struct stat st;
            ASSERT_EQ(stat(path(target).c_str(), &st), 0);
            EXPECT_EQ(st.st_size, layout.length);
            EXPECT_LE(st.st_blocks * 512, dataBytes + (1 << 20));
            EXPECT_TRUE(readFile(path(target)) == expected);
        }
    }
}

// A kernel file that says size 0 reads on for gigabytes; the copy takes only
// the size the source had when it began.
TEST_F(CopyFile, ReadsNoFurtherThanTheSourcesSize)
{
    const std::string dst = path("pagemap");
    ASSERT_EQ(qvuCopyFile("/proc/self/pagemap", dst.c_str(), sizeof message, message), 0) << message;
    EXPECT_EQ(readFile(dst), "");
}

} // namespace

// Whatever a folder's file system was found to take, a copy replaces the old
// file whole or leaves it as it was, and leaves nothing else behind: with
// every way open, closed before its rename, and with the old file set aside
// first where a rename cannot replace in one step.
TEST_F(CopyFile, EveryWayOfTakingNewFilesLeavesOldOrNew)
{
    const struct {
        const char* what;
        int32_t caps;
    } rows[] = {
        { "as found here", 0 },
        { "every way open",
            QVU_FS_PROBED | QVU_FS_UNNAMED | QVU_FS_NOREPLACE | QVU_FS_RENAME_OPEN | QVU_FS_REPLACE | QVU_FS_LOCKS },
        { "open files cannot be renamed", QVU_FS_PROBED | QVU_FS_REPLACE | QVU_FS_LOCKS },
        { "a rename cannot replace", QVU_FS_PROBED | QVU_FS_RENAME_OPEN | QVU_FS_NOREPLACE | QVU_FS_LOCKS },
        { "nothing but a rename", QVU_FS_PROBED },
    };
    writeFile(path("src"), "new", 1500000000);
    writeFile(path("readonly"), "kept");
    chmod(path("readonly").c_str(), 0444);
    const int folder = open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        writeFile(path("old"), "old");
        unlink(path("missing").c_str());
        for (const char* name : { "old", "missing" }) {
            timespec stamped[2] = {};
            EXPECT_EQ(qvuCopyFileAt(path("src").c_str(), folder, name, QVU_DST_UNKNOWN, row.caps, sizeof message,
                          message, nullptr, stamped),
                0)
                << name << ": " << message;
            EXPECT_EQ(readFile(path(name)), "new") << name;
            // The times are the source's, however they went on, and the copy says so.
            EXPECT_EQ(mtimeOf(path(name)), 1500000000) << name;
            EXPECT_EQ(stamped[1].tv_sec, 1500000000) << name;
        }
        // Decided on what was seen there: another program's write since then
        // is left as it is, every way; a file that appeared where none was
        // seen, where the file system can refuse to replace.
        const bool refuses = row.caps == 0 || (row.caps & (QVU_FS_UNNAMED | QVU_FS_NOREPLACE));
        writeFile(path("old"), "theirs", 1600000000);
        struct stat there;
        ASSERT_EQ(stat(path("old").c_str(), &there), 0);
        const struct {
            const char* seen;
            qvuSeen as;
            int32_t code;
        } sights[] = {
            { "missing", { 0, 0, {} }, refuses ? QVU_DESTINATION_CHANGED : 0 },
            { "another size", { 1, there.st_size + 1, there.st_mtim }, QVU_DESTINATION_CHANGED },
            { "another time", { 1, there.st_size, { there.st_mtim.tv_sec - 1, there.st_mtim.tv_nsec } },
                QVU_DESTINATION_CHANGED },
            { "as it is", { 1, there.st_size, there.st_mtim }, 0 },
        };
        for (const auto& sight : sights) {
            writeFile(path("old"), "theirs", 1600000000);
            EXPECT_EQ(qvuCopyFileAsSeen(path("src").c_str(), folder, "old", &sight.as, row.caps, sizeof message,
                          message, nullptr, nullptr),
                sight.code)
                << sight.seen;
            EXPECT_EQ(readFile(path("old")), sight.code ? "theirs" : "new") << sight.seen;
            EXPECT_EQ(namesIn(dir.path()), (Names { "missing", "old", "readonly", "src" })) << sight.seen;
        }
        EXPECT_EQ(qvuCopyFileAt(
                      path("src").c_str(), folder, "readonly", QVU_DST_UNKNOWN, row.caps, 0, nullptr, nullptr, nullptr),
            EACCES);
        EXPECT_EQ(readFile(path("readonly")), "kept");
        EXPECT_EQ(namesIn(dir.path()), (Names { "missing", "old", "readonly", "src" }));
    }
    for (const char* name : { "", ".", "..", "a/b" })
        EXPECT_EQ(
            qvuCopyFileAt(path("src").c_str(), folder, name, QVU_DST_UNKNOWN, 0, 0, nullptr, nullptr, nullptr), EINVAL)
            << name;
    close(folder);
}

// A local folder takes every way, and the probe leaves nothing behind.
TEST_F(CopyFile, ProbeFindsALocalFolderOpenToEveryWay)
{
    const int folder = open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    int32_t caps = 0;
    EXPECT_EQ(qvuProbeFolder(folder, &caps), 0);
    close(folder);
    const int32_t expected
        = QVU_FS_PROBED | QVU_FS_NOREPLACE | QVU_FS_RENAME_OPEN | QVU_FS_REPLACE | QVU_FS_LOCKS | QVU_FS_TIMES_KEPT;
    EXPECT_EQ(caps & expected, expected);
    EXPECT_TRUE(namesIn(dir.path()).empty());
}

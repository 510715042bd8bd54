// Hidden temporaries of killed copies: a copy keeps its temporary locked for
// as long as it has a name, and a later sweep removes only those nobody holds.
// Built twice: with the library's copy routine (unnamed temporaries where the
// file system has them) and with one that always takes the named route.
#include "engine/diffcopy.h"
#include "engine/staletemps.h"
#include "qvutil/qvutil.h"
#include "recorder.h"
#include "tests/support/sshfsshare.h"
#include "tests/support/testsupport.h"

#include <csignal>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>

using testsupport::namesIn;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

constexpr int kFiles = 12;

std::string oldContent(int i)
{
    return "old " + std::to_string(i);
}
std::string newContent(int i)
{
    return std::string(512 << 10, static_cast<char>('a' + i));
}

bool hasTemporary(const std::string& folder)
{
    const auto names = namesIn(folder);
    return std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.find(".vst-") != n.npos; });
}

// Replacements of kFiles files in DST by a child process, watched through
// inotify: each replacement shows a temporary's name appearing, then the
// rename onto the file.
class Replacing : public EngineTest {
protected:
    void SetUp() override
    {
        for (int i = 0; i < kFiles; ++i)
            writeFile(src + "/f" + std::to_string(i), newContent(i), 2000);
        mkdir(dst.c_str(), 0755);
    }

    // Starts the child on fresh old files; its copies return with exit status 0.
    pid_t start()
    {
        for (int i = 0; i < kFiles; ++i)
            writeFile(dst + "/f" + std::to_string(i), oldContent(i), 1000);
        watch_ = inotify_init1(IN_CLOEXEC);
        inotify_add_watch(watch_, dst.c_str(), IN_CREATE | IN_MOVED_TO);
        fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            for (int i = 0; i < kFiles; ++i) {
                const std::string name = "/f" + std::to_string(i);
                if (qvuCopyFile((src + name).c_str(), (dst + name).c_str(), 0, nullptr) != 0)
                    _exit(1);
            }
            _exit(0);
        }
        return child;
    }

    // Returns once N names have appeared in DST (N below 2 * kFiles, so the child is still at work).
    bool awaitNames(int n)
    {
        alignas(inotify_event) char buffer[4096];
        pollfd p { watch_, POLLIN, 0 };
        while (n > 0 && poll(&p, 1, 10000) == 1) {
            const ssize_t length = read(watch_, buffer, sizeof buffer);
            for (ssize_t at = 0; at < length; --n)
                at += static_cast<ssize_t>(sizeof(inotify_event) + reinterpret_cast<inotify_event*>(buffer + at)->len);
        }
        close(watch_);
        return n <= 0;
    }

    void expectEveryFileOldOrNew()
    {
        for (int i = 0; i < kFiles; ++i) {
            const std::string content = readFile(dst + "/f" + std::to_string(i));
            EXPECT_TRUE(content == oldContent(i) || content == newContent(i)) << "f" << i;
        }
    }

    // Kills the copies after ROUND names have appeared, then runs the engine.
    void killAndRunAgain(int round)
    {
        const pid_t child = start();
        ASSERT_TRUE(awaitNames(round));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        expectEveryFileOldOrNew();

        ASSERT_EQ(engine.CopyNews(src, dst, 0, false), 0);
        EXPECT_FALSE(hasTemporary(dst)) << testing::PrintToString(namesIn(dst));
        for (int i = 0; i < kFiles; ++i)
            ASSERT_EQ(readFile(dst + "/f" + std::to_string(i)), newContent(i));
    }

    int watch_ = -1;
};

// The same on a network share, where every copy takes a named temporary and
// the next run learns of the leftovers from its one listing of the folder.
class ReplacingOnAShare : public Replacing {
protected:
    void SetUp() override
    {
        if (share_.unavailable())
            GTEST_SKIP() << share_.whyNot();
        ASSERT_EQ(share_.whyNot(), "");
        dst = share_.mountPoint() + "/dst";
        Replacing::SetUp();
    }

    testsupport::SshfsShare share_ { dir / "share" };
};

} // namespace

TEST_F(ReplacingOnAShare, KilledCopiesAreCleanedUpByTheNextRun)
{
    for (int round = 1; round < 2 * kFiles; round += 3) {
        SCOPED_TRACE(round);
        ASSERT_NO_FATAL_FAILURE(killAndRunAgain(round));
    }
}

// Wherever the kill lands, the file is old or new, and the next run leaves no temporary.
TEST_F(Replacing, KilledCopiesAreCleanedUpByTheNextRun)
{
    for (int round = 1; round <= 20; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NO_FATAL_FAILURE(killAndRunAgain(round));
    }
}

// A sweep that comes while a copy is halted anywhere, even between creating
// its temporary and locking it, costs that copy nothing.
TEST_F(Replacing, SweepDuringACopyLeavesItWhole)
{
    for (int round = 1; round < 2 * kFiles; round += 2) {
        SCOPED_TRACE(round);
        const pid_t child = start();
        ASSERT_TRUE(awaitNames(round));
        kill(child, SIGSTOP);
        int status = 0;
        waitpid(child, &status, WUNTRACED);
        const int folder = open(dst.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        removeStaleTemporaries(folder);
        close(folder);
        kill(child, SIGCONT);
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_FALSE(hasTemporary(dst));
        for (int i = 0; i < kFiles; ++i)
            EXPECT_EQ(readFile(dst + "/f" + std::to_string(i)), newContent(i));
    }
}

TEST(StaleTemporaries, OnlyUnheldOnesOfOursAreRemoved)
{
    testsupport::TempDir dir;
    writeFile(dir / "user-file", "mine");
    const struct {
        const char* what;
        const char* name;
        std::function<void(const std::string&)> make;
        bool removed;
    } rows[] = {
        { "left by a killed copy", ".a.txt.vst-tmp-Ab3xY9Zq01", [](auto& p) { writeFile(p, "partial"); }, true },
        { "empty, digits only", ".b.vst-tmp-0000000000", [](auto& p) { writeFile(p, ""); }, true },
        { "nine random characters", ".a.txt.vst-tmp-Ab3xY9Zq0", [](auto& p) { writeFile(p, "x"); }, false },
        { "eleven random characters", ".a.txt.vst-tmp-Ab3xY9Zq01z", [](auto& p) { writeFile(p, "x"); }, false },
        { "a user's name of the form once used", ".a.vst-backup", [](auto& p) { writeFile(p, "x"); }, false },
        { "a name the source folder has", ".s.vst-tmp-Ab3xY9Zq01", [](auto& p) { writeFile(p, "x"); }, false },
        { "no leading dot", "a.txt.vst-tmp-Ab3xY9Zq01", [](auto& p) { writeFile(p, "x"); }, false },
        { "no name", "..vst-tmp-Ab3xY9Zq01", [](auto& p) { writeFile(p, "x"); }, false },
        { "punctuation", ".a.txt.vst-tmp-Ab3_Y9Zq01", [](auto& p) { writeFile(p, "x"); }, false },
        { "folder", ".d.vst-tmp-Ab3xY9Zq01", [](auto& p) { mkdir(p.c_str(), 0755); }, false },
        { "FIFO", ".p.vst-tmp-Ab3xY9Zq01", [](auto& p) { mkfifo(p.c_str(), 0644); }, false },
        { "link to a file", ".l.vst-tmp-Ab3xY9Zq01", [&](auto& p) { symlink((dir / "user-file").c_str(), p.c_str()); },
            false },
        { "second name of a file", ".h.vst-tmp-Ab3xY9Zq01",
            [&](auto& p) { link((dir / "user-file").c_str(), p.c_str()); }, false },
    };
    for (const auto& row : rows)
        row.make(dir / row.name);
    // One held by a copy at work.
    writeFile(dir / ".live.vst-tmp-Ab3xY9Zq01", "partial");
    const int held = open((dir / ".live.vst-tmp-Ab3xY9Zq01").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    // As root, one that belongs to another user.
    if (geteuid() == 0) {
        writeFile(dir / ".other.vst-tmp-Ab3xY9Zq01", "theirs");
        ASSERT_EQ(chown((dir / ".other.vst-tmp-Ab3xY9Zq01").c_str(), 65534, 65534), 0);
    }

    const int folder = open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    EXPECT_EQ(
        removeStaleTemporaries(folder, 0, [](const std::string& name) { return name == ".s.vst-tmp-Ab3xY9Zq01"; }), 2);
    close(folder);
    close(held);
    for (const auto& row : rows)
        EXPECT_EQ(testsupport::exists(dir / row.name), !row.removed) << row.what;
    EXPECT_TRUE(testsupport::exists(dir / ".live.vst-tmp-Ab3xY9Zq01"));
    EXPECT_EQ(testsupport::exists(dir / ".other.vst-tmp-Ab3xY9Zq01"), geteuid() == 0);
    EXPECT_EQ(readFile(dir / "user-file"), "mine");
}

// Where a rename cannot replace a file in one step, a copy killed between
// setting the old file aside and putting the new one in place leaves the old
// one aside: the next sweep puts it back, or removes it once the new one is in.
TEST(StaleTemporaries, OldFilesSetAsideAreBroughtBack)
{
    // Set aside from a name cut short at a character's start: 233 bytes of it left.
    const std::string shortened = "." + std::string(233, 'a') + ".vst-old-Ab3xY9Zq01";
    const struct {
        const char* what;
        const char* aside;
        const char* original; // the file under the original name, or null
        std::int32_t caps;
        const char* after; // what the original name holds after the sweep, or null
        bool asideStays;
    } rows[] = {
        { "original missing", ".a.txt.vst-old-Ab3xY9Zq01", nullptr, QVU_FS_PROBED, "old", false },
        { "new file in place", ".b.txt.vst-old-Ab3xY9Zq01", "new", QVU_FS_PROBED, "new", false },
        { "a rename replaces here", ".c.txt.vst-old-Ab3xY9Zq01", nullptr, QVU_FS_PROBED | QVU_FS_REPLACE, nullptr,
            true },
        { "file system not known", ".d.txt.vst-old-Ab3xY9Zq01", nullptr, 0, nullptr, true },
        { "not of that form", ".e.txt.vst-old-Ab3xY", nullptr, QVU_FS_PROBED, nullptr, true },
        { "from a shortened name", shortened.c_str(), nullptr, QVU_FS_PROBED, nullptr, true },
    };
    for (const auto& row : rows) {
        testsupport::TempDir folderDir;
        writeFile(folderDir / row.aside, "old");
        const std::string original = std::string(row.aside).substr(1, 5);
        if (row.original)
            writeFile(folderDir / original, row.original);
        const int folder = open(folderDir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        EXPECT_EQ(removeStaleTemporaries(folder, row.caps), row.asideStays ? 0 : 1) << row.what;
        close(folder);
        EXPECT_EQ(testsupport::exists(folderDir / row.aside), row.asideStays) << row.what;
        if (row.after)
            EXPECT_EQ(readFile(folderDir / original), row.after) << row.what;
        else
            EXPECT_FALSE(testsupport::exists(folderDir / original)) << row.what;
    }
}

// Runs in a hostile world: kernel files that read on for ever, folder links
// that fan out or wander through pseudo file systems, links planted in the
// destination, and temporaries left by killed copies.
#include "engine/diffcopy.h"
#include "recorder.h"
#include "tests/support/testsupport.h"

#include <chrono>
#include <set>
#include <sys/file.h>

using testsupport::exists;
using testsupport::namesIn;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

class Hostile : public EngineTest { };

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(Hostile, RunRemovesDeadTemporariesBesideWhatItCopies)
{
    writeFile(src + "/a.txt", "new", 2000);
    writeFile(dst + "/a.txt", "old", 1000);
    writeFile(dst + "/.a.txt.vst-tmp-Dead01Dead", "partial");
    writeFile(dst + "/.a.txt.vst-tmp-Live01Live", "partial");
    const int held = open((dst + "/.a.txt.vst-tmp-Live01Live").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    close(held);
    EXPECT_EQ(namesIn(dst), (std::vector<std::string> { ".a.txt.vst-tmp-Live01Live", "a.txt" }));
    EXPECT_EQ(readFile(dst + "/a.txt"), "new");
}

// Reached through links in the source: files that claim size 0 but read on
// (pagemap: gigabytes), and a device that never ends.
TEST_F(Hostile, FilesThatReadOnForEverAreBounded)
{
    const struct {
        const char* name;
        const char* target;
        bool copied;
    } rows[] = {
        { "pagemap", "/proc/self/pagemap", true },
        { "status", "/proc/self/status", true },
        { "zero", "/dev/zero", false },
    };
    mkdir(src.c_str(), 0755);
    for (const auto& row : rows)
        ASSERT_EQ(symlink(row.target, (src + "/" + row.name).c_str()), 0);
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        struct stat st;
        ASSERT_EQ(stat(row.target, &st), 0);
        EXPECT_EQ(exists(dst + "/" + row.name), row.copied);
        if (row.copied) {
            EXPECT_LE(readFile(dst + "/" + row.name).size(), static_cast<size_t>(st.st_size));
        }
    }
    EXPECT_EQ(recorder.errors.size(), 1u); // the device
}

// Twelve real folders, each with two links to the next: 4,095 paths, 12 folders.
TEST_F(Hostile, BranchingLinksWalkEachFolderOnce)
{
    constexpr int kLevels = 12;
    auto level = [&](int i) { return i == 0 ? src : dir / ("r" + std::to_string(i)); };
    for (int i = 0; i < kLevels; ++i) {
        writeFile(level(i) + "/file" + std::to_string(i), "x");
        for (const char* name : { "/a", "/b" }) {
            if (i + 1 < kLevels) {
                ASSERT_EQ(symlink(level(i + 1).c_str(), (level(i) + name).c_str()), 0);
            }
        }
    }
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_EQ(recorder.only("searching ").size(), size_t(kLevels));
    EXPECT_EQ(recorder.only("copied ").size(), size_t(kLevels));
    EXPECT_TRUE(recorder.errors.empty());
    ASSERT_EQ(recorder.only("already ").size(), size_t(kLevels - 1));
    // At the top, the second of src/a and src/b is reported with where the first was copied.
    const auto& already = recorder.only("already ");
    EXPECT_EQ(std::count(already.begin(), already.end(), "already " + src + "/b -> " + dst + "/a")
            + std::count(already.begin(), already.end(), "already " + src + "/a -> " + dst + "/b"),
        1);
    EXPECT_EQ(engine.CountFiles(src, true), kLevels);
}

// /sys is full of links to folders; in simulation, a capped walk of it lists
// every real folder once.
TEST_F(Hostile, PseudoFileSystemIsWalkedOncePerFolder)
{
    if (access("/sys/class", R_OK | X_OK) != 0)
        GTEST_SKIP() << "/sys cannot be read here";
    std::set<std::pair<dev_t, ino_t>> seen;
    bool repeated = false;
    recorder.onSearching = [&](const std::string& path) {
        struct stat st;
        if (stat(path.c_str(), &st) == 0)
            repeated |= !seen.insert({ st.st_dev, st.st_ino }).second;
        if (seen.size() >= 3000)
            engine.StopCopy();
    };
    engine.SetSimulation(true);
    const std::int32_t result = engine.CopyNews("/sys", dst, 0, true);
    EXPECT_TRUE(result == 0 || result == DiffCopy::kStopped) << result;
    EXPECT_FALSE(repeated);
    EXPECT_FALSE(exists(dst));
}

// A link planted in the destination where a folder belongs is followed only
// when it belongs to the user running the program or to root.
TEST_F(Hostile, DestinationLinksOfOtherUsersAreNotFollowed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a link to another user";
    const struct {
        const char* what;
        uid_t owner;
        bool followed;
    } rows[] = {
        { "nobody's link", 65534, false },
        { "root's link", 0, true },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        testsupport::TempDir here;
        const std::string s = here / "src", d = here / "dst", outside = here / "outside";
        writeFile(s + "/sub/f", "f");
        writeFile(s + "/zz/g", "g");
        mkdir(d.c_str(), 0755);
        mkdir(outside.c_str(), 0755);
        ASSERT_EQ(symlink(outside.c_str(), (d + "/sub").c_str()), 0);
        ASSERT_EQ(lchown((d + "/sub").c_str(), row.owner, row.owner), 0);
        Recorder events;
        DiffCopy run(events);
        EXPECT_EQ(run.CopyNews(s, d, 0, true), 0);
        EXPECT_EQ(exists(outside + "/f"), row.followed);
        EXPECT_EQ(readFile(d + "/zz/g"), "g");
        if (row.followed) {
            EXPECT_TRUE(events.errors.empty());
        } else {
            ASSERT_EQ(events.errors.size(), 1u);
            EXPECT_TRUE(contains(events.errors[0], d + "/sub"));
            EXPECT_TRUE(contains(events.errors[0], "シンボリックリンク"));
            // Answered with stop, the run ends with the refusal's code.
            events.defaultReply = ErrorReply::Stop;
            EXPECT_EQ(run.CopyNews(s, d, 0, true), EACCES);
        }
    }
}

// At a file's name, a link is replaced by the copy, never written through.
TEST_F(Hostile, LinkAtAFileNameIsReplaced)
{
    writeFile(src + "/f", "new", 2000);
    writeFile(dir / "victim", "keep", 1000);
    mkdir(dst.c_str(), 0755);
    ASSERT_EQ(symlink((dir / "victim").c_str(), (dst + "/f").c_str()), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(lchown((dst + "/f").c_str(), 65534, 65534), 0);
    }
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_EQ(readFile(dir / "victim"), "keep");
    struct stat st;
    ASSERT_EQ(lstat((dst + "/f").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(readFile(dst + "/f"), "new");
}

// Another program writes a destination file after the run decided on it and
// before its copy takes the name: the file is decided again on what is there
// now, so a newer file written meanwhile is never replaced by an older copy.
TEST_F(Hostile, AWriteAfterTheDecisionIsDecidedOn)
{
    const struct {
        const char* name;
        long before; // the destination's time when decided; 0: missing
        long theirs; // the time of what the other program writes
        bool replaced;
    } rows[] = {
        { "newer-over-older", 600000000, 2000000000, false },
        { "newer-where-missing", 0, 2000000000, false },
        { "older-over-older", 600000000, 500000000, true },
    };
    engine.setParallelCopies(1);
    for (const auto& row : rows) {
        const std::string from = src + "/" + row.name;
        const std::string to = dst + "/" + row.name;
        writeFile(from + "/f", "source", 978307200);
        if (row.before)
            writeFile(to + "/f", "old", row.before);
        bool written = false;
        engine.setBeforeCopy([&] {
            if (!std::exchange(written, true))
                writeFile(to + "/f", "theirs", row.theirs);
        });
        recorder.events.clear();
        recorder.errors.clear();
        EXPECT_EQ(engine.CopyNews(from, to, 0, false), 0);
        EXPECT_EQ(recorder.errors, std::vector<std::string> {}) << row.name;
        EXPECT_EQ(readFile(to + "/f"), row.replaced ? "source" : "theirs") << row.name;
        EXPECT_EQ(recorder.only("copied ").size(), row.replaced ? 1u : 0u) << row.name;
    }
}

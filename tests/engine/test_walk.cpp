#include "engine/diffcopy.h"
#include "recorder.h"
#include "tests/support/testsupport.h"
#include "util/paths.h"

#include <algorithm>
#include <unistd.h>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

class Walk : public EngineTest {
protected:
    // Index of the first event equal to TEXT, or -1.
    long indexOf(const std::string& text) const
    {
        auto it = std::find(recorder.events.begin(), recorder.events.end(), text);
        return it == recorder.events.end() ? -1 : it - recorder.events.begin();
    }
};

} // namespace

TEST_F(Walk, FirstRunCopiesEverythingAndASecondRunNothing)
{
    writeFile(src + "/a.txt", "alpha", 1000);
    writeFile(src + "/.hidden", "h", 1000);
    writeFile(src + "/sub/b.txt", "beta", 2000);
    writeFile(src + "/sub/deeper/c.bin", std::string(100000, 'c'), 3000);

    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_EQ(recorder.only("copied ").size(), 4u);
    EXPECT_EQ(readFile(dst + "/a.txt"), "alpha");
    EXPECT_EQ(readFile(dst + "/.hidden"), "h");
    EXPECT_EQ(readFile(dst + "/sub/b.txt"), "beta");
    EXPECT_EQ(readFile(dst + "/sub/deeper/c.bin"), std::string(100000, 'c'));
    EXPECT_EQ(testsupport::mtimeOf(dst + "/sub/deeper/c.bin"), 3000);
    EXPECT_TRUE(recorder.errors.empty());

    recorder.events.clear();
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_TRUE(recorder.only("copied ").empty());
    EXPECT_EQ(recorder.only("checked ").size(), 4u);
}

TEST_F(Walk, FilesFirstThenEachSubfolderCompletely)
{
    writeFile(src + "/top1", "1");
    writeFile(src + "/top2", "2");
    writeFile(src + "/s1/x", "x");
    writeFile(src + "/s1/inner/y", "y");
    writeFile(src + "/s2/z", "z");

    ASSERT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    const auto& ev = recorder.events;
    ASSERT_EQ(ev[0], "searching " + src);
    ASSERT_EQ(ev[1], "searched " + src);
    long s1 = indexOf("searching " + src + "/s1");
    long s2 = indexOf("searching " + src + "/s2");
    long inner = indexOf("searching " + src + "/s1/inner");
    for (const char* name : { "/top1", "/top2" })
        EXPECT_LT(indexOf("copied " + src + name + " -> " + dst + name), std::min(s1, s2));
    // s1 with its inner folder is done before s2 begins, or s2 before s1.
    long y = indexOf("copied " + src + "/s1/inner/y -> " + dst + "/s1/inner/y");
    if (s1 < s2)
        EXPECT_TRUE(inner > s1 && y < s2);
    else
        EXPECT_GT(inner, s2);
}

TEST_F(Walk, NewerSourceReplacesAndNewerDestinationStays)
{
    writeFile(src + "/newer", "new", 2000);
    writeFile(dst + "/newer", "old", 1000);
    writeFile(src + "/older", "src", 1000);
    writeFile(dst + "/older", "dst", 2000);
    writeFile(src + "/same", "source", 1500);
    writeFile(dst + "/same", "backup", 1500);
    // The source's time on a file of another size: a copy cut short (a
    // power cut before its data reached the disk), copied again.
    writeFile(src + "/cut", "whole content", 1500);
    writeFile(dst + "/cut", "who", 1500);
    writeFile(src + "/cut-newer", "whole content", 1500);
    writeFile(dst + "/cut-newer", "edited", 1600);

    ASSERT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    EXPECT_EQ(readFile(dst + "/newer"), "new");
    EXPECT_EQ(readFile(dst + "/older"), "dst");
    EXPECT_EQ(readFile(dst + "/same"), "backup");
    EXPECT_EQ(readFile(dst + "/cut"), "whole content");
    EXPECT_EQ(readFile(dst + "/cut-newer"), "edited");
    ASSERT_EQ(recorder.times.size(), 2u);
}

TEST_F(Walk, ToleranceInWholeSeconds)
{
    writeFile(src + "/by1", "s", 1001);
    writeFile(dst + "/by1", "d", 1000);
    writeFile(src + "/by2", "s", 1002);
    writeFile(dst + "/by2", "d", 1000);
    writeFile(src + "/by3", "s", 1003);
    writeFile(dst + "/by3", "d", 1000);

    ASSERT_EQ(engine.CopyNews(src, dst, 2, false), 0);
    EXPECT_EQ(readFile(dst + "/by1"), "d");
    EXPECT_EQ(readFile(dst + "/by2"), "d");
    EXPECT_EQ(readFile(dst + "/by3"), "s");
}

TEST_F(Walk, WithoutSubfoldersNothingBelowIsTouched)
{
    writeFile(src + "/file", "f");
    writeFile(src + "/sub/inner", "i");
    ASSERT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    EXPECT_EQ(testsupport::namesIn(dst), std::vector<std::string> { "file" });
    EXPECT_EQ(indexOf("searching " + src + "/sub"), -1);
}

TEST_F(Walk, EmptySubfolderIsCreatedAndReported)
{
    testsupport::makeDirs(src + "/empty");
    ASSERT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_TRUE(bIsFolder(dst + "/empty"));
    EXPECT_GE(indexOf("searched " + src + "/empty"), 0);
}

TEST_F(Walk, SimulationWritesNothingAndReportsEverything)
{
    writeFile(src + "/a", "a");
    writeFile(src + "/sub/b", "b");
    engine.SetSimulation(true);
    ASSERT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_FALSE(testsupport::exists(dst));
    EXPECT_EQ(recorder.only("copied ").size(), 2u);

    // The option stays until it is changed.
    recorder.events.clear();
    ASSERT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_FALSE(testsupport::exists(dst));
    engine.SetSimulation(false);
    ASSERT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_EQ(readFile(dst + "/sub/b"), "b");
}

TEST_F(Walk, UnusableSourceEndsAtOnceWithoutEvents)
{
    writeFile(dir / "file", "x");
    EXPECT_EQ(engine.CopyNews(dir / "missing", dst, 0, true), 0);
    EXPECT_EQ(engine.CopyNews(dir / "file", dst, 0, true), 0);
    EXPECT_EQ(engine.CopyNews("", dst, 0, true), 0);
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_FALSE(testsupport::exists(dst));
}

TEST_F(Walk, FilterReportsPassedOverFiles)
{
    writeFile(src + "/a.txt", "a");
    writeFile(src + "/b.doc", "b");
    writeFile(src + "/README", "r");
    ASSERT_TRUE(engine.SetExtFilter(1, "TXT"));
    ASSERT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    EXPECT_EQ(testsupport::namesIn(dst), std::vector<std::string> { "a.txt" });
    EXPECT_EQ(recorder.only("checked ").size(), 2u);

    ASSERT_TRUE(engine.ResetExtFilter());
    ASSERT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    EXPECT_EQ(testsupport::namesIn(dst).size(), 3u);
}

TEST_F(Walk, EventPathsHaveOneSlash)
{
    writeFile(src + "/f", "f");
    ASSERT_EQ(engine.CopyNews(src + "/", dst + "/", 0, false), 0);
    EXPECT_GE(indexOf("copied " + src + "/f -> " + dst + "/f"), 0);
}

TEST_F(Walk, UnusualNamesAreCopiedByteForByte)
{
    const std::vector<std::string> names { "caf\xe9", "line\nbreak", "tab\there", "日本語.txt", " lead space" };
    for (const auto& name : names)
        writeFile(src + "/" + name, name);
    ASSERT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    for (const auto& name : names)
        EXPECT_EQ(readFile(dst + "/" + name), name);
    EXPECT_TRUE(recorder.errors.empty());
}

TEST_F(Walk, StopEndsTheRunBeforeTheNextFile)
{
    for (int i = 0; i < 5; ++i)
        writeFile(src + "/f" + std::to_string(i), "x");
    writeFile(src + "/sub/g", "g");
    engine.setParallelCopies(1);
    recorder.onFileChecked = [&](const std::string&) { engine.StopCopy(); };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), DiffCopy::kStopped);
    EXPECT_EQ(recorder.only("copied ").size(), 1u);
    EXPECT_EQ(indexOf("searching " + src + "/sub"), -1);
}

TEST_F(Walk, StopWithSeveralCopiesReportsEveryCopyMade)
{
    for (int i = 0; i < 300; ++i)
        writeFile(src + "/f" + std::to_string(i), "x");
    writeFile(src + "/sub/g", "g");
    engine.setParallelCopies(3);
    recorder.onFileChecked = [&](const std::string&) { engine.StopCopy(); };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), DiffCopy::kStopped);
    // Copies already on their way when the stop was seen are finished and
    // reported; none is started after it.
    const size_t copied = recorder.only("copied ").size();
    EXPECT_EQ(copied, testsupport::namesIn(dst).size());
    EXPECT_LT(copied, 300u);
    EXPECT_EQ(indexOf("searching " + src + "/sub"), -1);
}

TEST_F(Walk, StopDuringTheListingCutsItShort)
{
    for (int i = 0; i < 5; ++i)
        writeFile(src + "/f" + std::to_string(i), "x");
    // Three entries are examined before the stop, at least one of them a file
    // (the other two may be "." and ".."), so there is a next file at which the
    // stop is seen.
    int yields = 0;
    engine.setYield([&] {
        if (++yields == 4)
            engine.StopCopy();
    });
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), DiffCopy::kStopped);
    EXPECT_TRUE(recorder.only("copied ").empty());
    EXPECT_GE(indexOf("searched " + src), 0);
}

TEST_F(Walk, StopWhileIdleDoesNotReachTheNextRun)
{
    writeFile(src + "/f", "x");
    engine.StopCopy();
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_EQ(readFile(dst + "/f"), "x");
}

TEST_F(Walk, YieldsForEntriesFilesAndSubfolders)
{
    writeFile(src + "/a", "a");
    writeFile(src + "/b", "b");
    writeFile(src + "/sub/c", "c");
    int yields = 0;
    engine.setYield([&] { ++yields; });
    ASSERT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    // Listing top: a, b, sub (plus . and ..); files a, b; subfolder sub;
    // listing sub: c (plus . and ..); file c.
    EXPECT_GE(yields, 3 + 2 + 1 + 1 + 1);
}

TEST_F(Walk, CountFilesWithAndWithoutSubfolders)
{
    writeFile(src + "/a", "a");
    writeFile(src + "/b", "b");
    writeFile(src + "/sub/c", "c");
    writeFile(src + "/sub/deep/d", "d");
    EXPECT_EQ(engine.CountFiles(src, false), 2);
    EXPECT_EQ(engine.CountFiles(src, true), 4);
    EXPECT_EQ(engine.CountFiles(dir / "missing", true), 0);
    EXPECT_TRUE(recorder.events.empty());

    engine.setYield([&] { engine.StopCopy(); });
    EXPECT_EQ(engine.CountFiles(src, true), 0);
}

TEST_F(Walk, LinkLoopIsNotFollowedForever)
{
    writeFile(src + "/a/file", "f");
    ASSERT_EQ(symlink(src.c_str(), (src + "/a/loop").c_str()), 0);
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_EQ(readFile(dst + "/a/file"), "f");
    EXPECT_FALSE(testsupport::exists(dst + "/a/loop/a"));
    EXPECT_EQ(engine.CountFiles(src, true), 1);
}

TEST_F(Walk, DestinationInsideTheSourceIsNotWalked)
{
    writeFile(src + "/photo.jpg", "p");
    writeFile(src + "/album/more.jpg", "m");
    const std::string inside = src + "/backup";
    ASSERT_EQ(engine.CopyNews(src, inside, 0, true), 0);
    EXPECT_EQ(readFile(inside + "/photo.jpg"), "p");
    EXPECT_EQ(readFile(inside + "/album/more.jpg"), "m");
    EXPECT_FALSE(testsupport::exists(inside + "/backup"));

    // A second run finds everything up to date and still does not nest.
    recorder.events.clear();
    ASSERT_EQ(engine.CopyNews(src, inside, 0, true), 0);
    EXPECT_TRUE(recorder.only("copied ").empty());
    EXPECT_FALSE(testsupport::exists(inside + "/backup"));
}

// Folders made by a run get their source's permission bits, less the umask,
// as cp gives them; while files go in, a folder is never open to more people
// than its source, and the owner can write into it.
TEST_F(Walk, FoldersKeepTheirSourcesPermissionBits)
{
    const mode_t mask = umask(022);
    const struct {
        const char* name;
        mode_t mode;
        mode_t made;
    } rows[] = {
        { "private", 0700, 0700 },
        { "group", 0750, 0750 },
        { "everyone-writes", 0777, 0755 },
        { "read-only", 0555, 0555 },
    };
    for (const auto& row : rows)
        writeFile(src + "/" + row.name + "/inner/f", "data");
    for (const auto& row : rows) {
        chmod((src + "/" + row.name + "/inner").c_str(), row.mode);
        chmod((src + "/" + row.name).c_str(), row.mode);
    }
    chmod(src.c_str(), 0700);
    std::vector<std::string> wider;
    engine.setBeforeCopy([&] {
        for (const auto& row : rows)
            for (const std::string& folder : { dst, dst + "/" + row.name, dst + "/" + row.name + "/inner" }) {
                struct stat st;
                const mode_t source = folder == dst ? 0700 : row.mode;
                if (stat(folder.c_str(), &st) == 0 && (st.st_mode & 077 & ~source))
                    wider.push_back(folder);
            }
    });
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    umask(mask);
    EXPECT_TRUE(recorder.errors.empty());
    EXPECT_TRUE(wider.empty()) << wider.front();
    const auto modeOf = [](const std::string& path) {
        struct stat st { };
        stat(path.c_str(), &st);
        return st.st_mode & 07777;
    };
    EXPECT_EQ(modeOf(dst), 0700u);
    for (const auto& row : rows) {
        for (const std::string& folder : { dst + "/" + row.name, dst + "/" + row.name + "/inner" })
            EXPECT_EQ(modeOf(folder), row.made) << folder;
        EXPECT_EQ(readFile(dst + "/" + row.name + "/inner/f"), "data") << row.name;
    }
}

// Links to a folder within the source never take that folder's place,
// whichever the listing gives first: the real folder is copied at its own
// place, and each link is reported as leading there. (Ten links make it all
// but certain that one of them is listed before the real folder.)
TEST_F(Walk, ALinkWithinTheSourceNeverTakesTheRealFoldersPlace)
{
    writeFile(src + "/deep/real/a", "a");
    std::vector<std::string> expected;
    for (int i = 0; i < 10; ++i) {
        const std::string link = src + "/link" + std::to_string(i);
        ASSERT_EQ(symlink("deep/real", link.c_str()), 0);
        expected.push_back("already " + link + " -> " + dst + "/deep/real");
    }
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_EQ(readFile(dst + "/deep/real/a"), "a");
    std::vector<std::string> reported = recorder.only("already ");
    std::sort(reported.begin(), reported.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(reported, expected);
    EXPECT_EQ(testsupport::namesIn(dst), (std::vector<std::string> { "deep" }));
}

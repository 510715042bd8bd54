#include "engine/filecopy.h"
#include "tests/support/testsupport.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::mtimeOf;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

timespec at(long seconds)
{
    return { seconds, 0 };
}

} // namespace

TEST(CopyOneFile, CarriesContentAndTimes)
{
    TempDir dir;
    writeFile(dir / "src", "content", 1234);
    ASSERT_EQ(copyOneFile(dir / "src", { dir / "dst" }, at(1234), at(1234)).code, 0);
    EXPECT_EQ(readFile(dir / "dst"), "content");
    EXPECT_EQ(mtimeOf(dir / "dst"), 1234);
}

TEST(CopyOneFile, SourceChangedSinceItWasListedIsStampedOlder)
{
    // Listed at 1000, changed at 3000 before the copy: the copy carries the
    // new content with the listed time, so the next run copies it once more
    // instead of never.
    TempDir dir;
    writeFile(dir / "src", "changed", 3000);
    ASSERT_EQ(copyOneFile(dir / "src", { dir / "dst" }, at(1000), at(1000)).code, 0);
    EXPECT_EQ(readFile(dir / "dst"), "changed");
    EXPECT_EQ(mtimeOf(dir / "dst"), 1000);
}

TEST(CopyOneFile, FailureCarriesTheSystemsText)
{
    TempDir dir;
    CopyResult result = copyOneFile(dir / "missing", { dir / "dst" }, at(1), at(1));
    EXPECT_EQ(result.code, ENOENT);
    EXPECT_EQ(result.text, std::strerror(ENOENT));
    EXPECT_FALSE(testsupport::exists(dir / "dst"));
}

TEST(CopyTimeStamps, SetsBothTimesOrReportsFailure)
{
    TempDir dir;
    writeFile(dir / "dst", "d", 5000);
    EXPECT_TRUE(CopyTimeStamps(at(700), at(900), { dir / "dst" }));
    struct stat st;
    ASSERT_EQ(stat((dir / "dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 700);
    EXPECT_EQ(st.st_mtim.tv_sec, 900);
    EXPECT_FALSE(CopyTimeStamps(at(700), at(900), { dir / "missing" }));

    // With the folder held open, the name is looked up in it.
    const int folder = open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    EXPECT_TRUE(CopyTimeStamps(at(300), at(400), { "/not/this/path", folder, "dst" }));
    ASSERT_EQ(stat((dir / "dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 400);
    EXPECT_FALSE(CopyTimeStamps(at(300), at(400), { dir / "dst", folder, "missing" }));
    close(folder);
}

TEST(ReadSourceAhead, OpensOnlyRegularFiles)
{
    // inotify tells every open of a watched name: a FIFO opened for reading,
    // even for a moment, would release a writer waiting on it.
    struct Case {
        const char* name;
        void (*make)(const std::string& path);
        bool opened;
    };
    const Case cases[] = {
        { "regular file", [](const std::string& path) { writeFile(path, "data", 1000); }, true },
        { "FIFO", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, false },
        { "folder", [](const std::string& path) { ASSERT_EQ(mkdir(path.c_str(), 0700), 0); }, false },
        { "missing", [](const std::string&) {}, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir / "src";
        c.make(path);
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, dir.path().c_str(), IN_OPEN), 0);
        readSourceAhead(path, 1 << 20);
        alignas(inotify_event) char events[4096];
        const ssize_t got = read(watch, events, sizeof events);
        close(watch);
        EXPECT_EQ(got > 0, c.opened);
    }
}

// Reading folders ahead of the walk changes nothing a listener sees: each row
// builds the same tree twice and runs once reading every folder as the walk
// comes to it and once reading ahead; the events, with the trees' roots taken
// out, must be the same, and so must the destinations.
#include "engine/diffcopy.h"
#include "engine/walkahead.h"
#include "recorder.h"
#include "tests/support/testsupport.h"

#include <functional>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

using testsupport::writeFile;

namespace {

// A tree of WIDTH folders a level, DEPTH levels deep, FILES files in each
// folder, all at time 1000.
void makeTree(const std::string& root, int width, int depth, int files)
{
    testsupport::makeDirs(root);
    for (int f = 0; f < files; ++f)
        writeFile(root + "/f" + std::to_string(f) + ".txt", "file " + std::to_string(f), 1000);
    if (depth > 0)
        for (int w = 0; w < width; ++w)
            makeTree(root + "/d" + std::to_string(w), width, depth - 1, files);
}

struct Row {
    const char* name;
    // Makes the source and the destination under a root.
    std::function<void(const std::string& src, const std::string& dst)> make;
    // Set up on the engine and its listener before the run.
    std::function<void(DiffCopy&, Recorder&, const std::string& src, const std::string& dst)> arm;
};

const std::vector<Row> kRows = {
    { "NothingChanged",
        [](const std::string& src, const std::string& dst) {
            makeTree(src, 3, 3, 3);
            makeTree(dst, 3, 3, 3);
        },
        nullptr },
    { "FirstCopy", [](const std::string& src, const std::string&) { makeTree(src, 3, 3, 3); }, nullptr },
    { "SomeNewerEitherWay",
        [](const std::string& src, const std::string& dst) {
            makeTree(src, 3, 3, 4);
            makeTree(dst, 3, 2, 4);
            writeFile(src + "/d1/d2/f0.txt", "newer source", 5000);
            writeFile(dst + "/d2/d0/f1.txt", "newer destination", 5000);
        },
        nullptr },
    { "LinksBackAndWithin",
        [](const std::string& src, const std::string& dst) {
            makeTree(src, 3, 2, 2);
            makeTree(dst, 3, 2, 2);
            symlink(src.c_str(), (src + "/d0/d1/loop").c_str());
            symlink("../d2", (src + "/d1/within").c_str());
        },
        nullptr },
    { "AFileWhereAFolderGoesIsSkipped",
        [](const std::string& src, const std::string& dst) {
            makeTree(src, 3, 2, 2);
            makeTree(dst, 2, 2, 2);
            writeFile(dst + "/d2", "in the way", 1000);
        },
        nullptr },
    { "StoppedByTheReplyToAnError",
        [](const std::string& src, const std::string& dst) {
            makeTree(src, 3, 2, 2);
            makeTree(dst, 2, 2, 2);
            writeFile(dst + "/d2", "in the way", 1000);
        },
        [](DiffCopy&, Recorder& recorder, const std::string&, const std::string&) {
            recorder.defaultReply = ErrorReply::Stop;
        } },
    { "FilteredAndStopped",
        [](const std::string& src, const std::string& dst) {
            makeTree(src, 4, 2, 3);
            writeFile(src + "/d3/d1/skip.log", "passed over", 1000);
            makeTree(dst, 2, 1, 1);
        },
        [](DiffCopy& engine, Recorder& recorder, const std::string&, const std::string&) {
            engine.SetExtFilter(2, "log");
            engine.setParallelCopies(1);
            int files = 0;
            recorder.onFileChecked = [&engine, files](const std::string&) mutable {
                if (++files == 40)
                    engine.StopCopy();
            };
        } },
    // A destination file written after its folder was read ahead, before the
    // walk gets there: it is newer, and stays.
    { "DestinationWrittenAfterTheReadAhead",
        [](const std::string& src, const std::string& dst) {
            makeTree(src, 3, 2, 2);
            makeTree(dst, 3, 2, 2);
            writeFile(src + "/d2/d2/f1.txt", "newer source", 3000);
        },
        [](DiffCopy&, Recorder& recorder, const std::string& src, const std::string& dst) {
            recorder.onSearching = [src, dst](const std::string& folder) {
                if (folder == src + "/d1/d0")
                    writeFile(dst + "/d2/d2/f1.txt", "newer still", 4000);
            };
        } },
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

// The events of a run of ROW under ROOT, the root taken out of every path.
std::vector<std::string> eventsOf(const Row& row, const std::string& root, int foldersAhead)
{
    const std::string src = root + "/src";
    const std::string dst = root + "/dst";
    row.make(src, dst);
    Recorder recorder;
    DiffCopy engine(recorder);
    engine.setFoldersAhead(foldersAhead);
    if (row.arm)
        row.arm(engine, recorder, src, dst);
    const std::int32_t result = engine.CopyNews(src, dst, 0, true);
    std::vector<std::string> events;
    for (std::string event : recorder.events) {
        for (size_t at; (at = event.find(root)) != std::string::npos;)
            event.replace(at, root.size(), "ROOT");
        events.push_back(event);
    }
    events.push_back("result " + std::to_string(result));
    return events;
}

// Every file under FOLDER with its content, in a fixed order.
std::vector<std::string> contentsOf(const std::string& folder)
{
    std::vector<std::string> found;
    for (const std::string& name : testsupport::namesIn(folder)) {
        const std::string path = folder + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode))
            continue;
        if (S_ISDIR(st.st_mode))
            for (const std::string& below : contentsOf(path))
                found.push_back(name + "/" + below);
        else
            found.push_back(name + " " + testsupport::readFile(path));
    }
    return found;
}

class WalkAheadTest : public ::testing::TestWithParam<Row> { };

} // namespace

TEST_P(WalkAheadTest, SameEventsAndSameDestinationAsReadingInTurn)
{
    const Row& row = GetParam();
    testsupport::TempDir inTurn;
    const std::vector<std::string> expected = eventsOf(row, inTurn.path(), 0);
    ASSERT_GE(expected.size(), 5u);
    // A window of two folders is refilled at every step; the default one
    // holds most of each tree.
    for (int ahead : { 2, 32 }) {
        testsupport::TempDir readAhead;
        EXPECT_EQ(eventsOf(row, readAhead.path(), ahead), expected) << ahead << " folders ahead";
        EXPECT_EQ(contentsOf(readAhead.path() + "/dst"), contentsOf(inTurn.path() + "/dst"));
    }
}

INSTANTIATE_TEST_SUITE_P(Trees, WalkAheadTest, ::testing::ValuesIn(kRows),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// What the walk is given: a folder read completely, as it was asked for; not
// a folder read for another path, nor one that could not be read.
TEST(WalkAhead, GivesOnlyWhatWasReadForThatFolder)
{
    testsupport::TempDir dir;
    writeFile(dir / "src/a/one", "1", 1000);
    writeFile(dir / "src/a/two", "2", 1000);
    writeFile(dir / "dst/a/one", "1", 2000);
    testsupport::makeDirs(dir / "src/gone");
    const std::vector<std::string> folders = { "a", "gone" };
    const WalkPlace top;
    const std::string srcPrefix = dir / "src/";
    const std::string dstPrefix = dir / "dst/";
    rmdir((dir / "src/gone").c_str());
    const auto keepWaiting = [] { return true; };

    WalkAhead ahead(8, 2, true, ExtFilter());
    ahead.plan({ { &top, &srcPrefix, &dstPrefix, &folders, 0 } });
    const std::unique_ptr<FolderAhead> a = ahead.take({ 0 }, dir / "src/a", dir / "dst/a", keepWaiting);
    ASSERT_TRUE(a);
    ASSERT_EQ(a->listing.files.size(), 2u);
    ASSERT_EQ(a->dstFiles.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const bool one = a->listing.files[i].name == "one";
        EXPECT_EQ(a->dstFiles[i].error, one ? 0 : ENOENT);
        if (one) {
            EXPECT_EQ(a->dstFiles[i].st.st_mtime, 2000);
        }
    }
    EXPECT_FALSE(ahead.take({ 1 }, dir / "src/gone", dir / "dst/gone", keepWaiting));

    WalkAhead again(8, 2, true, ExtFilter());
    again.plan({ { &top, &srcPrefix, &dstPrefix, &folders, 0 } });
    EXPECT_FALSE(again.take({ 0 }, dir / "src/b", dir / "dst/a", keepWaiting));
}

// Runs onto the file systems of USB sticks (FAT32 through fusefat, exFAT
// through exfat-fuse, each in a small image mounted by the test), and the
// cases of theirs that an ordinary Linux destination must still handle.
#include "engine/diffcopy.h"
#include "engine/listing.h"
#include "engine/nametwins.h"
#include "recorder.h"
#include "tests/support/fusevolume.h"
#include "tests/support/testsupport.h"

#include <map>
#include <memory>

using testsupport::FuseVolume;
using testsupport::namesIn;
using testsupport::readFile;
using testsupport::StickFormat;
using testsupport::writeFile;
using Names = std::vector<std::string>;

namespace {

constexpr const char* kRefusedNote = "（この名前はコピー先のファイルシステムでは使えない可能性があります）";

// The source's file names in the order the walk takes them.
Names listed(const std::string& folder)
{
    Listing listing;
    ListFolder(folder, listing, [] { return true; });
    Names names;
    for (const ListedFile& file : listing.files)
        names.push_back(file.name);
    return names;
}

class Stick : public EngineTest, public testing::WithParamInterface<StickFormat> {
protected:
    // Mounts the stick with its driver in the time zone TZ; false, with the
    // test skipped, where that cannot be done here.
    bool mountStick(const std::string& tz = "UTC")
    {
        stick = std::make_unique<FuseVolume>(dir.path(), GetParam(), tz);
        return stick->mounted();
    }

    std::unique_ptr<FuseVolume> stick;
};

#define MOUNT_STICK(...)                                                                                               \
    if (!mountStick(__VA_ARGS__)) {                                                                                    \
        GTEST_SKIP() << stick->skipReason();                                                                           \
    }

} // namespace

// Files and folders with names the stick refuses are reported one by one (a
// folder with everything under it) and the run goes on with the others.
TEST_P(Stick, RefusedNamesAreReportedAndTheRunGoesOn)
{
    MOUNT_STICK()
    for (const char* name : { "ok.txt", "a:b.txt", "what?.txt", "star*.txt", "pipe|.txt", "quote\".txt" })
        writeFile(src + "/" + name, name);
    writeFile(src + "/dir:colon/inner.txt", "inner");
    writeFile(src + "/next/n.txt", "n");
    const std::string target = stick->path();

    EXPECT_EQ(engine.CopyNews(src, target, 0, true), 0);
    EXPECT_EQ(namesIn(target), (Names { "next", "ok.txt" }));
    EXPECT_EQ(readFile(target + "/next/n.txt"), "n");
    ASSERT_EQ(recorder.errors.size(), 6u);
    for (const std::string& error : recorder.errors) {
        if (error != target + "/dir:colon作成エラー") {
            EXPECT_NE(error.find(kRefusedNote), std::string::npos) << error;
        }
    }
    EXPECT_EQ(recorder.only("checked ").size(), 5u);
    EXPECT_TRUE(recorder.only("searching " + src + "/dir:colon").empty());
}

// Names that differ only in case find one file on the stick: the first in the
// walk is copied, and a later one that would replace it is reported instead
// (one that is not newer is passed over as usual), also with several copies
// at once; a second run changes nothing.
TEST_P(Stick, CaseTwinsDoNotReplaceEachOther)
{
    MOUNT_STICK()
    std::map<std::string, std::pair<std::string, long>> files; // name -> content, time
    for (int i = 0; i < 24; ++i) {
        // Newer and older in turn, so that either may be the later one in the walk.
        files["P" + std::to_string(i) + ".TXT"] = { "upper " + std::to_string(i), i % 2 ? 1700000100 : 1700000000 };
        files["p" + std::to_string(i) + ".txt"] = { "lower " + std::to_string(i), i % 2 ? 1700000000 : 1700000100 };
    }
    // exFAT folds more than ASCII (fusefat refuses names beyond ASCII altogether).
    if (GetParam() == StickFormat::ExFat) {
        files["\xef\xbc\xa1.txt"] = { "full-width A", 1700000000 };
        files["\xef\xbd\x81.txt"] = { "full-width a", 1700000200 };
    }
    for (const auto& [name, file] : files)
        writeFile(src + "/" + name, file.first, file.second);
    const std::string target = stick->path();
    engine.setParallelCopies(4);

    EXPECT_EQ(engine.CopyNews(src, target, 0, false), 0);
    std::map<std::string, std::string> first; // folded name -> the first twin in the walk
    Names expectedErrors;
    for (const std::string& name : listed(src)) {
        const auto [owner, isFirst] = first.emplace(foldedName(name), name);
        if (!isFirst && files[name].second > files[owner->second].second)
            expectedErrors.push_back("コピー先で " + owner->second + " と名前が重なるため、コピーしません");
    }
    EXPECT_EQ(first.size(), files.size() / 2);
    EXPECT_EQ(recorder.only("copied ").size(), first.size());
    EXPECT_EQ(recorder.errors, expectedErrors);
    EXPECT_GE(expectedErrors.size(), 5u);
    for (const auto& [folded, name] : first)
        EXPECT_EQ(readFile(target + "/" + name), files[name].first) << name;

    recorder.events.clear();
    recorder.errors.clear();
    EXPECT_EQ(engine.CopyNews(src, target, 0, false), 0);
    EXPECT_TRUE(recorder.only("copied ").empty());
    EXPECT_EQ(recorder.errors, expectedErrors);
    for (const auto& [folded, name] : first)
        EXPECT_EQ(readFile(target + "/" + name), files[name].first) << name;
}

// FAT keeps times in two-second steps, exFAT with their offset from UTC. With
// the default tolerance a second run copies nothing, also for times on both
// sides of a change to summer time and after the stick has been mounted again
// in another zone. (fusefat reads the times back shifted by the zone's
// standard offset unless it runs in UTC, so it runs in UTC here.)
TEST_P(Stick, SecondRunCopiesNothing)
{
    const bool exfat = GetParam() == StickFormat::ExFat;
    MOUNT_STICK(exfat ? "Europe/Berlin" : "UTC")
    const struct {
        const char* name;
        long mtime;
    } files[] = {
        { "winter.txt", 1774652401 }, // 2026-03-27 23:00:01 UTC, the Friday before the change
        { "summer.txt", 1774746003 }, // 2026-03-29 01:00:03 UTC, an hour after it
        { "autumn.txt", 1792887605 }, // 2026-10-25 00:20:05 UTC, the hour that comes twice
        { "late.txt", 1792894807 }, // 2026-10-25 02:20:07 UTC, after it
    };
    for (const auto& file : files)
        writeFile(src + "/" + file.name, file.name, file.mtime);
    const std::string target = stick->path();

    EXPECT_EQ(engine.CopyNews(src, target, 2, false), 0);
    EXPECT_EQ(recorder.only("copied ").size(), 4u);
    recorder.events.clear();
    EXPECT_EQ(engine.CopyNews(src, target, 2, false), 0);
    EXPECT_TRUE(recorder.only("copied ").empty());

    ASSERT_TRUE(stick->remount(exfat ? "America/New_York" : "UTC")) << stick->skipReason();
    recorder.events.clear();
    EXPECT_EQ(engine.CopyNews(src, target, 2, false), 0);
    EXPECT_TRUE(recorder.only("copied ").empty());
    EXPECT_EQ(recorder.only("checked ").size(), 4u);
}

// A stick cannot hold holes: a sparse file arrives with its zeros written
// out, its full length, and reads the same as the source.
TEST_P(Stick, SparseFileArrivesWhole)
{
    MOUNT_STICK()
    const std::string sparse = src + "/sparse.bin";
    writeFile(sparse, "");
    const int fd = open(sparse.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "middle", 6, 1 << 20), 6);
    ASSERT_EQ(ftruncate(fd, 3 << 20), 0);
    close(fd);

    EXPECT_EQ(engine.CopyNews(src, stick->path(), 2, false), 0);
    EXPECT_TRUE(recorder.errors.empty());
    EXPECT_TRUE(readFile(*stick / "sparse.bin") == readFile(sparse));
}

INSTANTIATE_TEST_SUITE_P(Formats, Stick, testing::Values(StickFormat::Fat32, StickFormat::ExFat),
    [](const testing::TestParamInfo<StickFormat>& info) {
        return info.param == StickFormat::Fat32 ? "Fat32" : "ExFat";
    });

// Where the destination tells case apart, twins are two files like any others.
TEST_F(EngineTest, CaseTwinsOnACaseSensitiveDestination)
{
    writeFile(src + "/A.txt", "upper", 2000);
    writeFile(src + "/a.txt", "lower", 1000);
    engine.setParallelCopies(4);
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    EXPECT_TRUE(recorder.errors.empty());
    EXPECT_EQ(readFile(dst + "/A.txt"), "upper");
    EXPECT_EQ(readFile(dst + "/a.txt"), "lower");
}

TEST(FoldedName, FoldsLettersBeyondAsciiAndKeepsOtherBytes)
{
    EXPECT_EQ(foldedName("\xc3\x89t\xc3\xa9.TXT"), "\xc3\xa9t\xc3\xa9.txt"); // Été
    EXPECT_EQ(foldedName("\xd0\x81\xd0\x96"), "\xd1\x91\xd0\xb6"); // Cyrillic ЁЖ
    EXPECT_EQ(foldedName("caf\xc9 \xe0\x80"), "caf\xc9 \xe0\x80"); // no UTF-8
}

// A file the stick holds under another case is the file: it is compared, and
// kept when it is newer, although a listing of the stick does not name it so.
TEST_P(Stick, AFileThereInAnotherCaseIsComparedNotReplaced)
{
    MOUNT_STICK()
    const std::string target = stick->path();
    writeFile(target + "/PHOTO.JPG", "newer on the stick", 1700000100);
    writeFile(target + "/other.txt", "other", 1700000000);
    writeFile(src + "/photo.jpg", "older", 1700000000);
    EXPECT_EQ(engine.CopyNews(src, target, 0, false), 0);
    EXPECT_TRUE(recorder.only("copied ").empty());
    EXPECT_EQ(readFile(target + "/PHOTO.JPG"), "newer on the stick");
}

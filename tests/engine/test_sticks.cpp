// Runs onto the file systems of USB sticks (FAT32 through fusefat, exFAT
// through exfat-fuse, each in a small image mounted by the test), and the
// cases of theirs that an ordinary Linux destination must still handle.
#include "engine/diffcopy.h"
#include "engine/listing.h"
#include "engine/nametwins.h"
#include "recorder.h"
#include "tests/support/fusevolume.h"
#include "tests/support/testsupport.h"

#include <algorithm>
#include <iterator>
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
// walk is copied, and every later one is reported instead, newer or not, also
// with several copies at once; a second run changes nothing. Twins the stick
// holds apart are both copied.
TEST_P(Stick, CaseTwinsDoNotReplaceEachOther)
{
    MOUNT_STICK()
    std::map<std::string, std::pair<std::string, long>> files; // name -> content, time
    std::map<std::string, std::string> oneOnStick; // name -> its group of twins that the stick takes for one
    for (int i = 0; i < 24; ++i) {
        // Newer and older in turn, so that either may be the later one in the walk.
        files["P" + std::to_string(i) + ".TXT"] = { "upper " + std::to_string(i), i % 2 ? 1700000100 : 1700000000 };
        files["p" + std::to_string(i) + ".txt"] = { "lower " + std::to_string(i), i % 2 ? 1700000000 : 1700000100 };
        oneOnStick["P" + std::to_string(i) + ".TXT"] = oneOnStick["p" + std::to_string(i) + ".txt"] = std::to_string(i);
    }
    // exFAT folds more than ASCII (fusefat refuses names beyond ASCII
    // altogether), by a table of capital letters of its own: that lacks the
    // Kelvin sign and all beyond UTF-16's first plane (Deseret), so those
    // twins are two files there.
    if (GetParam() == StickFormat::ExFat) {
        const struct {
            Names twins;
            bool oneOnStick;
        } groups[] = {
            { { "Ａ", "ａ" }, true }, // full-width
            { { "Ā", "ā" }, true },
            { { "Σ", "σ", "ς" }, true },
            { { "Ł", "ł" }, true },
            { { "Ǎ", "ǎ" }, true },
            { { "Ⅰ", "ⅰ" }, true },
            { { "Ⓐ", "ⓐ" }, true },
            { { "Ά", "ά" }, true },
            { { "Ѡ", "ѡ" }, true },
            { { "Ա", "ա" }, true },
            { { "Ÿ", "ÿ" }, true },
            { { "Ⴀ", "ⴀ" }, true }, // Georgian
            { { "\u212A", "k" }, false }, // the Kelvin sign
            { { "𐐀", "𐐨" }, false },
        };
        for (std::size_t g = 0; g < std::size(groups); ++g) {
            const Names& twins = groups[g].twins;
            for (std::size_t i = 0; i < twins.size(); ++i) {
                files[twins[i] + ".txt"]
                    = { twins[i], 1700000000 + 100 * static_cast<long>(g % 2 ? i : twins.size() - i) };
                if (groups[g].oneOnStick)
                    oneOnStick[twins[i] + ".txt"] = twins.front();
            }
        }
    }
    for (const auto& [name, file] : files)
        writeFile(src + "/" + name, file.first, file.second);
    const std::string target = stick->path();
    engine.setParallelCopies(4);

    EXPECT_EQ(engine.CopyNews(src, target, 0, false), 0);
    std::map<std::string, std::string> first; // group -> the first twin in the walk
    Names expectedErrors;
    for (const std::string& name : listed(src)) {
        const auto group = oneOnStick.find(name);
        const auto [owner, isFirst] = first.emplace(group != oneOnStick.end() ? group->second : name, name);
        if (!isFirst)
            expectedErrors.push_back("コピー先で " + owner->second + " と名前が重なるため、コピーしません");
    }
    Names onStick;
    for (const auto& [group, name] : first)
        onStick.push_back(name);
    std::sort(onStick.begin(), onStick.end());
    EXPECT_EQ(recorder.only("copied ").size(), first.size());
    EXPECT_EQ(recorder.errors, expectedErrors);
    EXPECT_GE(expectedErrors.size(), 5u);
    EXPECT_EQ(namesIn(target), onStick);
    for (const auto& [group, name] : first)
        EXPECT_EQ(readFile(target + "/" + name), files[name].first) << name;

    recorder.events.clear();
    recorder.errors.clear();
    EXPECT_EQ(engine.CopyNews(src, target, 0, false), 0);
    EXPECT_TRUE(recorder.only("copied ").empty());
    EXPECT_EQ(recorder.errors, expectedErrors);
    for (const auto& [group, name] : first)
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

// A name of 255 bytes, the most Linux takes, is copied and found again by the
// next run. The copy's temporary beside it takes a shortened name, which must
// end between two characters: the stick keeps names in UTF-16 and refuses
// part of one. exFAT gets letters of two, three and four bytes at every
// offset, fusefat (which refuses names beyond ASCII) ASCII alone.
TEST_P(Stick, LongestNamesAreCopied)
{
    MOUNT_STICK()
    Names names = { std::string(251, 'n') + ".txt" };
    if (GetParam() == StickFormat::ExFat) {
        for (const std::string letter : { "é", "あ", "😀" }) {
            for (std::size_t offset = 0; offset < letter.size(); ++offset) {
                std::string name(offset, 'x');
                while (name.size() + letter.size() <= 255)
                    name += letter;
                names.push_back(name + std::string(255 - name.size(), 'y'));
            }
        }
    }
    for (const std::string& name : names)
        writeFile(src + "/" + name, name);
    const std::string target = stick->path();

    EXPECT_EQ(engine.CopyNews(src, target, 2, false), 0);
    EXPECT_EQ(recorder.errors, Names());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(namesIn(target), names);
    for (const std::string& name : names)
        EXPECT_EQ(readFile(target + "/" + name), name) << name;
    recorder.events.clear();
    EXPECT_EQ(engine.CopyNews(src, target, 2, false), 0);
    EXPECT_TRUE(recorder.only("copied ").empty());
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

// Runs onto a network share, where the run learns from one listing of each
// destination folder which files are there and looks up only those.
#include "recorder.h"
#include "tests/support/networkshare.h"
#include "tests/support/sshfsshare.h"

#include <atomic>
#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>

using testsupport::namesIn;
using Names = std::vector<std::string>;
using testsupport::readFile;
using testsupport::writeFile;

TEST(ShareRun, DecidesAsOnALocalDisk)
{
    testsupport::TempDir dir;
    testsupport::SshfsShare share(dir / "share");
    if (share.unavailable())
        GTEST_SKIP() << share.whyNot();
    ASSERT_EQ(share.whyNot(), "");
    const std::string src = dir / "src";
    const std::string dst = share.mountPoint() + "/dst";
    struct Row {
        const char* name;
        std::int64_t dstTime; // 0: no destination file
        mode_t dstMode;
        bool copied;
    };
    const Row rows[] = {
        { "missing", 0, 0, true },
        { "older", 1000, 0644, true },
        { "same", 2000, 0644, false },
        { "newer", 3000, 0644, false },
        { "readonly", 1000, 0444, false },
    };
    mkdir(dst.c_str(), 0755);
    for (const Row& row : rows) {
        writeFile(src + "/" + row.name, std::string("new ") + row.name, 2000);
        if (row.dstTime) {
            writeFile(dst + "/" + row.name, std::string("old ") + row.name, row.dstTime);
            chmod((dst + "/" + row.name).c_str(), row.dstMode);
        }
    }
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        Recorder recorder;
        DiffCopy engine(recorder);
        EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
        for (const Row& row : rows) {
            const bool copied = run == 0 && row.copied;
            const std::string event
                = (copied ? "copied " : "checked ") + src + "/" + row.name + " -> " + dst + "/" + row.name;
            EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), event), 1) << row.name;
            EXPECT_EQ(readFile(dst + "/" + row.name), (row.copied ? "new " : "old ") + std::string(row.name))
                << row.name;
        }
        EXPECT_EQ(recorder.errors.size(), 1u); // the read-only file, each run
    }
}

namespace {

using testsupport::NetworkShare;
using testsupport::ShareKind;

class EveryShare : public testing::TestWithParam<ShareKind> {
protected:
    void SetUp() override
    {
        chmod(dir.path().c_str(), 0755); // for the server's own user to reach its export
        share = std::make_unique<NetworkShare>(GetParam(), dir / "share");
        if (share->unavailable())
            GTEST_SKIP() << share->whyNot();
        ASSERT_EQ(share->whyNot(), "");
        dst = share->root() + "/dst";
        for (int i = 0; i < kFiles; ++i)
            writeFile(src + "/" + folderOf(i) + "/f" + std::to_string(i), "new " + std::to_string(i), 2000);
        mkdir(dst.c_str(), 0755);
        mkdir((dst + "/a").c_str(), 0755);
        for (int i = 0; i < kFiles; ++i)
            if (hasOld(i))
                writeOld(i);
    }

    // Folder a holds old versions of most of its files, b none.
    static std::string folderOf(int i) { return i % 2 ? "b" : "a"; }
    static bool hasOld(int i) { return i % 2 == 0 && i % 6 != 0; }

    // Samba stamps a file with the time its handle closes on the server,
    // which can come after a time set right after close(2); it cannot rename
    // an open file, so a time set after a rename stays.
    void writeOld(int i) const
    {
        const std::string path = dst + "/" + folderOf(i) + "/f" + std::to_string(i);
        writeFile(path + ".w", "old " + std::to_string(i));
        ASSERT_EQ(rename((path + ".w").c_str(), path.c_str()), 0);
        const timespec times[2] = { { 1000, 0 }, { 1000, 0 } };
        utimensat(AT_FDCWD, path.c_str(), times, 0);
    }

    // The destination as the server has it; with rclone-writes, which uploads
    // some seconds after the close, as the mount shows it.
    std::string seenFolder() const
    {
        return share->kind() == ShareKind::RcloneWrites ? dst : share->exported() + "/dst";
    }

    // A run that copies what is left, then one that copies nothing; neither
    // reports an error, and nothing is left beside the files.
    void completeRuns();

    // Every file new, or, after a killed run, old: whole, under its own name
    // or, where the run was killed while it replaced the file, set aside for
    // the next run to put back. Read on the server where the share's client
    // may show a cached page of the old file.
    void expectOldOrNew(bool allNew)
    {
        const std::string seen = seenFolder();
        for (int i = 0; i < kFiles; ++i) {
            const std::string folder = seen + "/" + folderOf(i);
            const std::string content = readFile(folder + "/f" + std::to_string(i));
            const bool isNew = content == "new " + std::to_string(i);
            const Names names = namesIn(folder);
            const bool setAside = std::any_of(names.begin(), names.end(),
                [&](const std::string& name) { return name.rfind(".f" + std::to_string(i) + ".vst-old-", 0) == 0; });
            if (allNew) {
                EXPECT_TRUE(isNew) << i << ": " << content;
            } else if (hasOld(i)) {
                EXPECT_TRUE(isNew || content == "old " + std::to_string(i) || (content.empty() && setAside))
                    << i << ": " << content << " " << testing::PrintToString(names);
            }
        }
    }

    static constexpr int kFiles = 40;
    testsupport::TempDir dir;
    std::string src = dir / "src";
    std::string dst;
    std::unique_ptr<NetworkShare> share;
};

} // namespace

// Update, new files, a second run that copies nothing and nothing left behind.
TEST_P(EveryShare, KeepsEveryFileOldOrNewAndLeavesNothingBehind)
{
    completeRuns();
}

// Runs killed in the middle of their copies leave every file old or new, and
// a run after them completes the copy and leaves nothing behind.
TEST_P(EveryShare, KilledRunsLeaveEveryFileOldOrNew)
{
    for (int kill = 1; kill <= 5; ++kill) {
        SCOPED_TRACE(kill);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Recorder recorder;
            DiffCopy engine(recorder);
            std::atomic<int> started { 0 };
            engine.setBeforeCopy([&] {
                if (++started == kill * 3)
                    raise(SIGKILL);
            });
            engine.CopyNews(src, dst, 0, true);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(share->closed());
        expectOldOrNew(false);
        for (int i = 0; i < kFiles; ++i)
            if (hasOld(i))
                writeOld(i);
    }
    completeRuns();
}

// A killed run's temporary in a folder where nothing is left to copy goes
// with the next run all the same: a share's folders are listed anyway.
TEST_P(EveryShare, LeftoversGoWhereNothingIsLeftToCopy)
{
    completeRuns();
    const std::string leftover = dst + "/b/.f1.vst-tmp-Ab3xY9Zq01";
    writeFile(leftover, "half");
    ASSERT_TRUE(share->sent());
    Recorder recorder;
    DiffCopy engine(recorder);
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_FALSE(testsupport::exists(leftover));
}

void EveryShare::completeRuns()
{
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        Recorder recorder;
        DiffCopy engine(recorder);
        EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
        EXPECT_TRUE(recorder.errors.empty()) << recorder.errors.front();
        if (run == 1) {
            EXPECT_TRUE(recorder.only("copied ").empty());
        }
        expectOldOrNew(true);
        // rclone without a cache may finish the upload of a killed run's
        // file after the run removed it: the file then stands on the server
        // alone, the mount no longer showing it until it lists the folder
        // anew. What the mount shows is what a run can see and tidy.
        const std::string shown = GetParam() == ShareKind::RcloneOff ? dst : seenFolder();
        for (const char* folder : { "a", "b" }) {
            const Names names = namesIn(shown + "/" + folder);
            EXPECT_EQ(names.size(), static_cast<size_t>(kFiles / 2)) << folder << " " << testing::PrintToString(names);
        }
    }
}

// The share taken away in the middle of a first copy: nothing is written to
// the folder under the mount point, and the run ends with an error.
TEST_P(EveryShare, AShareUnmountedMidRunSendsNothingToTheLocalDisk)
{
    Recorder recorder;
    DiffCopy engine(recorder);
    engine.setParallelCopies(1);
    std::atomic<int> started { 0 };
    engine.setBeforeCopy([&] {
        if (++started == 5)
            share->unmountLazily();
    });
    EXPECT_NE(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_TRUE(namesIn(share->mountPoint()).empty());
    EXPECT_FALSE(recorder.errors.empty());
    // What the run counts as copied is what reached the server: the copies
    // under way when the mount went went on through their open folders.
    // rclone with a cache of writes keeps what it has not sent yet for its
    // next mount.
    if (GetParam() == ShareKind::RcloneWrites)
        return;
    size_t landed = 0;
    for (const char* folder : { "a", "b" })
        for (const std::string& name : namesIn(share->exported() + "/dst/" + folder))
            landed
                += name[0] != '.' && readFile(share->exported() + "/dst/" + folder + "/" + name).rfind("new ", 0) == 0;
    EXPECT_EQ(recorder.only("copied ").size(), landed);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryShare, testing::ValuesIn(testsupport::allShareKinds),
    testsupport::shareKindRow<testing::TestParamInfo<ShareKind>>);

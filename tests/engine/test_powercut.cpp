// A power cut soon after a run onto an ext4 disk. Copies are not flushed (as
// with cp): within seconds the journal commits each new file's name, size and
// times, while its data wait for writeback, by default half a minute. The disk
// then holds files that carry their source's time but none or part of their
// data, and the next run must not take them for copies.
#include "engine/diffcopy.h"
#include "recorder.h"
#include "tests/support/loopmount.h"
#include "tests/support/testsupport.h"

#include <chrono>
#include <fstream>
#include <map>
#include <thread>

using testsupport::LoopMount;
using testsupport::readFile;
using testsupport::runQuietly;
using testsupport::systemTool;
using testsupport::writeFile;

namespace {

// The transactions the journal of the disk DEVICE has committed so far; -1
// when the kernel does not tell.
long journalCommits(const std::string& device)
{
    std::ifstream info("/proc/fs/jbd2/" + device + "-8/info");
    long commits = -1;
    info >> commits;
    return info ? commits : -1;
}

} // namespace

TEST_F(EngineTest, FilesCutShortByAPowerCutAreCopiedAgain)
{
    const std::string mkfs = systemTool("mkfs.ext4"), fsck = systemTool("e2fsck"), cp = systemTool("cp");
    if (mkfs.empty() || fsck.empty() || cp.empty())
        GTEST_SKIP() << "mkfs.ext4 or e2fsck (package e2fsprogs), or cp missing";
    const std::string image = dir / "disk.img", cut = dir / "cut.img";
    writeFile(image, "");
    // Large enough that ext4 keeps delaying the allocation of the data: on a
    // disk with less than twice the pending data free, it writes them at once.
    ASSERT_EQ(truncate(image.c_str(), 256 << 20), 0);
    ASSERT_EQ(runQuietly({ mkfs, "-q", "-F", image }), 0);
    // commit=1: the journal commits every second rather than every five.
    LoopMount disk(image, dir / "disk", "commit=1");
    if (!disk.mounted())
        GTEST_SKIP() << disk.skipReason();
    if (journalCommits(disk.device()) < 0)
        GTEST_SKIP() << "the kernel does not show the journal of " << disk.device() << " in /proc/fs/jbd2";

    const struct {
        const char* name;
        int count;
        size_t size;
        bool atDestination; // an older version is on the disk before the run
    } kinds[] = {
        { "new", 40, 3000, false },
        { "replaced", 10, 3000, true },
        { "large", 1, 30 << 20, false },
    };
    std::map<std::string, std::string> files; // name -> content
    for (const auto& kind : kinds) {
        for (int i = 0; i < kind.count; ++i) {
            const std::string name = kind.name + std::to_string(i) + ".bin";
            std::string content = name + ":";
            content.resize(kind.size, static_cast<char>('a' + i % 26));
            writeFile(src + "/" + name, content, 1700000000);
            if (kind.atDestination)
                writeFile(disk / "backup/" + name, "old " + name, 1600000000);
            files[name] = content;
        }
    }
    // Only the run's own writes are to be cut short.
    const int diskFd = open(disk.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(diskFd, 0);
    syncfs(diskFd);
    close(diskFd);

    ASSERT_EQ(engine.CopyNews(src, disk / "backup", 0, false), 0);
    ASSERT_EQ(recorder.only("copied ").size(), files.size());

    // Waits until the journal holds all that the run did, without a sync,
    // which would write the data out. When the run ended, one commit may have
    // been under way and the run's last changes waiting for the next: both
    // are done after two more. Each time round the journal is given a change
    // of its own to commit, the disk's top folder's times, which brings no
    // file's data to the disk.
    const long commitsAfterRun = journalCommits(disk.device());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (journalCommits(disk.device()) < commitsAfterRun + 2) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline)
            << "the journal of " << disk.device() << " committed nothing in 20 seconds";
        utimensat(AT_FDCWD, disk.path().c_str(), nullptr, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    // The power cut: what the device holds now, and nothing of what the
    // kernel still keeps to write. Then the disk is checked, as at a boot.
    ASSERT_EQ(runQuietly({ cp, "--sparse=always", image, cut }), 0);
    disk.unmount();
    const int checked = runQuietly({ fsck, "-f", "-y", cut });
    ASSERT_TRUE(checked >= 0 && checked < 4) << "e2fsck left errors on the disk (status " << checked << ")";
    LoopMount after(cut, dir / "cut");
    ASSERT_TRUE(after.mounted()) << after.skipReason();
    // The files on the disk that are not their sources' copies, with their sizes.
    const auto notCopies = [&] {
        std::vector<std::string> names;
        for (const auto& [name, content] : files) {
            const std::string copy = readFile(after / "backup/" + name);
            if (copy != content)
                names.push_back(name + " (" + std::to_string(copy.size()) + " bytes)");
        }
        return names;
    };
    const std::vector<std::string> cutShort = notCopies();

    recorder.events.clear();
    EXPECT_EQ(engine.CopyNews(src, after / "backup", 0, false), 0);
    EXPECT_TRUE(recorder.errors.empty());
    EXPECT_EQ(notCopies(), std::vector<std::string> {})
        << cutShort.size() << " of " << files.size() << " files came through the power cut short";
    if (cutShort.empty())
        GTEST_SKIP() << "every file reached the disk whole before the power cut: nothing was left to mend";
}

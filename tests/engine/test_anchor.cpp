// The run writes through the destination folders it holds open: neither a
// folder moved away nor a link swapped in for a folder sends a file anywhere else.
#include "recorder.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::exists;
using testsupport::namesIn;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

class Anchor : public EngineTest { };

} // namespace

// A destination moved away (or a share unmounted) mid-run: what was copied
// stays where the run wrote it, nothing is made again at the old path, and
// the run ends with an error, whatever the reply.
TEST_F(Anchor, ATopDestinationMovedAwayEndsTheRun)
{
    writeFile(src + "/f0", "zero");
    writeFile(src + "/a/f1", "one");
    mkdir(dst.c_str(), 0755);
    const std::string moved = dir / "moved";
    std::atomic<bool> done { false };
    engine.setParallelCopies(1);
    engine.setBeforeCopy([&] {
        if (!done.exchange(true))
            rename(dst.c_str(), moved.c_str());
    });
    recorder.defaultReply = ErrorReply::Skip;
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), ENOTCONN);
    EXPECT_FALSE(exists(dst));
    EXPECT_EQ(namesIn(moved), (std::vector<std::string> { "f0" }));
    EXPECT_EQ(readFile(moved + "/f0"), "zero");
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_NE(recorder.errors[0].find("切り離されました"), std::string::npos) << recorder.errors[0];
}

// Another user who owns a folder inside a root-run destination swaps one of
// its subfolders for a link out of the destination, again and again, while
// the run copies into it. No file may land outside.
TEST_F(Anchor, AFolderSwappedForALinkNeverLeadsOutside)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    constexpr uid_t kOther = 65534;
    chmod(dir.path().c_str(), 0711); // for the other user to reach the folder it owns
    const std::string outside = dir / "outside";
    mkdir(outside.c_str(), 0777);
    for (int i = 0; i < 20; ++i)
        writeFile(src + "/shared/sub/f" + std::to_string(i), "data");
    for (int round = 0; round < 30; ++round) {
        const std::string target = dir / ("dst" + std::to_string(round));
        const std::string shared = target + "/shared";
        mkdir(target.c_str(), 0755);
        mkdir(shared.c_str(), 0755);
        mkdir((shared + "/sub").c_str(), 0755);
        ASSERT_EQ(chown(shared.c_str(), kOther, kOther), 0);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t swapper = fork();
        ASSERT_GE(swapper, 0);
        if (swapper == 0) {
            if (setgid(kOther) != 0 || setuid(kOther) != 0 || symlink(outside.c_str(), (shared + "/x").c_str()) != 0)
                _exit(1);
            for (bool told = false;;) {
                if (renameat2(AT_FDCWD, (shared + "/sub").c_str(), AT_FDCWD, (shared + "/x").c_str(), RENAME_EXCHANGE)
                        == 0
                    && !told)
                    told = write(ready[1], "!", 1) == 1;
            }
        }
        close(ready[1]);
        char swapping = 0;
        ASSERT_EQ(read(ready[0], &swapping, 1), 1) << "the other user could not swap";
        close(ready[0]);
        Recorder listener;
        DiffCopy run(listener);
        run.CopyNews(src, target, 0, true);
        kill(swapper, SIGKILL);
        int status = 0;
        waitpid(swapper, &status, 0);
        ASSERT_TRUE(namesIn(outside).empty()) << "round " << round;
    }
}

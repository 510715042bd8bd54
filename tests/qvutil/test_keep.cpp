// A replacement that keeps the old file, and what a process killed at each of
// its steps leaves: under the file's name the old or the new file, in the keep
// folder the old one whole or nothing, never both gone. Built with
// QVU_STEP_HOOK, so that a child process can end itself at a given step.
#include "qvutil.h"
#include "tests/support/testsupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int stopAtStep = 0; // in the child: the step it ends at

} // namespace

extern "C" void qvuStepHook(int step)
{
    if (step == stopAtStep)
        _exit(9);
}

namespace {

using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;

struct KeepCase {
    const char* name;
    bool oldThere; // DST exists before the copy
    std::int32_t caps; // how the destination takes new files
    int killAt; // the step the process is killed at, 0: none
    const char* named; // what DST's name holds after: "old", "new" or "" (nothing)
    const char* kept; // what the keep folder holds under the name
};

constexpr std::int32_t kOneStep = QVU_FS_PROBED | QVU_FS_NOREPLACE | QVU_FS_RENAME_OPEN | QVU_FS_REPLACE;
// A share that removes the old file before it renames, or refuses to rename over one.
constexpr std::int32_t kTwoSteps = QVU_FS_PROBED | QVU_FS_NOREPLACE | QVU_FS_RENAME_OPEN;

const KeepCase kCases[] = {
    { "ReplacedIsKept", true, kOneStep, 0, "new", "old" },
    { "NewFileKeepsNothing", false, kOneStep, 0, "new", "" },
    { "KilledAfterTheLink", true, kOneStep, 1, "old", "old" },
    { "TwoStepsReplacedIsKept", true, kTwoSteps, 0, "new", "old" },
    { "TwoStepsKilledAfterTheLink", true, kTwoSteps, 1, "old", "old" },
    { "TwoStepsKilledBeforeTheNewName", true, kTwoSteps, 2, "", "old" },
};

class KeepTest : public ::testing::TestWithParam<KeepCase> { };

TEST_P(KeepTest, NameAndKeptVersion)
{
    const KeepCase& c = GetParam();
    testsupport::TempDir dir;
    const std::string src = dir / "src.txt";
    const std::string dst = dir / "dst";
    const std::string keep = dir / "keep";
    testsupport::makeDirs(dst);
    testsupport::makeDirs(keep);
    writeFile(src, "new", 1700000100);
    if (c.oldThere)
        writeFile(dst + "/a.txt", "old", 1700000000);

    fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        stopAtStep = c.killAt;
        const int dirFd = open(dst.c_str(), O_PATH | O_DIRECTORY);
        const int keepFd = open(keep.c_str(), O_PATH | O_DIRECTORY);
        std::int32_t kept = -1;
        const std::int32_t code = qvuCopyFileKeeping(
            src.c_str(), dirFd, "a.txt", nullptr, c.caps, keepFd, &kept, 0, nullptr, nullptr, nullptr);
        _exit(code == 0 && kept == (c.oldThere ? 1 : 0) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.killAt ? 9 : 0);

    EXPECT_EQ(exists(dst + "/a.txt") ? readFile(dst + "/a.txt") : "", c.named);
    EXPECT_EQ(exists(keep + "/a.txt") ? readFile(keep + "/a.txt") : "", c.kept);
    if (*c.kept) {
        EXPECT_EQ(testsupport::mtimeOf(keep + "/a.txt"), 1700000000);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kill, KeepTest, ::testing::ValuesIn(kCases), [](const auto& info) { return std::string(info.param.name); });

TEST(Keep, RefusesToReplaceWithoutAFolderToKeepIn)
{
    testsupport::TempDir dir;
    writeFile(dir / "src.txt", "new");
    writeFile(dir / "a.txt", "old");
    const int dirFd = open(dir.path().c_str(), O_PATH | O_DIRECTORY);
    const std::string src = dir / "src.txt";
    EXPECT_EQ(
        qvuCopyFileKeeping(src.c_str(), dirFd, "a.txt", nullptr, 0, -1, nullptr, 0, nullptr, nullptr, nullptr), EBADF);
    close(dirFd);
    EXPECT_EQ(readFile(dir / "a.txt"), "old");
}

} // namespace

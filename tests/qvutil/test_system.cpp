// Starting processes and the machine name.
#include "qvutil/qvutil.h"
#include "tests/support/testsupport.h"

#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

namespace {

using testsupport::readFile;

// Polls CONDITION for up to two seconds.
template <typename Condition> bool eventually(Condition condition)
{
    for (int i = 0; i < 200; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

TEST(ExecuteProcess, RunsCommandThroughShell)
{
    testsupport::TempDir dir;
    EXPECT_EQ(qvuExecuteProcess("exit 0", 1), 1);
    EXPECT_EQ(qvuExecuteProcess("exit 3", 1), 1); // started and ended: its status is not the result
    const std::string touched = dir / "touched";
    EXPECT_EQ(qvuExecuteProcess(("touch '" + touched + "'").c_str(), 1), 1);
    EXPECT_TRUE(testsupport::exists(touched));
    EXPECT_EQ(qvuExecuteProcess(nullptr, 1), 0);
    EXPECT_EQ(qvuExecuteProcess("", 0), 0);
}

TEST(ExecuteProcess, ChildInheritsNoExtraDescriptors)
{
    testsupport::TempDir dir;
    const int inheritable = 77; // deliberately without close-on-exec
    ASSERT_EQ(dup2(STDERR_FILENO, inheritable), inheritable);
    const std::string listing = dir / "fds";
    EXPECT_EQ(qvuExecuteProcess(("ls -1 /proc/$$/fd > '" + listing + "'").c_str(), 1), 1);
    close(inheritable);
    const std::string fds = "\n" + readFile(listing);
    EXPECT_NE(fds.find("\n2\n"), std::string::npos) << fds;
    EXPECT_EQ(fds.find("\n77\n"), std::string::npos) << fds;
}

TEST(ExecuteProcess, ChildNotWaitedForIsReaped)
{
    testsupport::TempDir dir;
    const std::string pidFile = dir / "pid";
    const std::string command = "echo $$ > '" + pidFile + ".tmp'; mv '" + pidFile + ".tmp' '" + pidFile + "'";
    EXPECT_EQ(qvuExecuteProcess(command.c_str(), 0), 1);
    ASSERT_TRUE(eventually([&] { return testsupport::exists(pidFile); }));
    const std::string proc = "/proc/" + std::to_string(std::stoi(readFile(pidFile)));
    EXPECT_TRUE(eventually([&] { return !testsupport::exists(proc); })) << "left a zombie";
}

TEST(MachineName, MatchesHostNameAndNeedsRoom)
{
    char expected[HOST_NAME_MAX + 1] = {};
    ASSERT_EQ(gethostname(expected, sizeof expected), 0);
    char buf[HOST_NAME_MAX + 1];
    ASSERT_EQ(qvuGetMyMachineName(buf, sizeof buf), 1);
    EXPECT_STREQ(buf, expected);

    const int32_t length = static_cast<int32_t>(std::strlen(expected));
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(qvuGetMyMachineName(buf, length), 0);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(qvuGetMyMachineName(buf, length + 1), 1);
    EXPECT_EQ(qvuGetMyMachineName(nullptr, 10), 0);
}

} // namespace

// A run from the window onto a network share whose server stops answering.
#include "app/copiedlist.h"
#include "app/frmbase.h"
#include "app/textlabel.h"
#include "tests/support/sshfsshare.h"
#include "tests/support/testsupport.h"
#include "util/ui/messagebox.h"
#include "windowtest.h"

#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <signal.h>
#include <sstream>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

// PID and every process below it.
std::set<pid_t> processTree(pid_t pid)
{
    std::set<pid_t> tree { pid };
    for (bool grew = true; grew;) {
        grew = false;
        DIR* proc = opendir("/proc");
        while (const dirent* entry = proc ? readdir(proc) : nullptr) {
            std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
            std::string line;
            if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
                continue;
            // "pid (name) state ppid ...": the name may hold blanks.
            std::istringstream rest(line.substr(line.rfind(')') + 2));
            char state;
            pid_t parent = 0;
            rest >> state >> parent;
            const pid_t child = std::atoi(entry->d_name);
            if (tree.count(parent) && tree.insert(child).second)
                grew = true;
        }
        if (proc)
            closedir(proc);
    }
    return tree;
}

class ShareRun : public WindowTest { };

} // namespace

TEST_F(ShareRun, APausedServerFreezesNeitherTheWindowNorItsStop)
{
    testsupport::SshfsShare share(dir / "share");
    if (share.unavailable())
        GTEST_SKIP() << share.whyNot();
    ASSERT_EQ(share.whyNot(), "");
    pid_t sshd = 0;
    std::ifstream(dir / "share/sshd.pid") >> sshd;
    ASSERT_GT(sshd, 0);
    for (int i = 0; i < 40; ++i)
        writeFile(src + "/f" + std::to_string(i), std::string(1000, char('a' + i % 26)), 1700000000);
    const std::string target = share.mountPoint() + "/dst";
    fill(src, target);
    window->setParallelCopies(1);

    // The server stops answering as the second copy begins.
    std::atomic<int> copies { 0 };
    std::atomic<bool> paused { false };
    window->beforeThreadedCopy = [&] {
        if (++copies != 2)
            return;
        for (pid_t pid : processTree(sshd))
            kill(pid, SIGSTOP);
        paused = true;
    };
    // While it is paused, the window's timers tick, the status line tells
    // what the run waits for, and Stop is taken; then the server goes on.
    int ticks = 0;
    QString waiting;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!paused || ++ticks < 80)
            return;
        watcher.stop();
        waiting = control<TextLabel>("lbMsg")->text();
        control<QPushButton>("btnStop")->click();
        for (pid_t pid : processTree(sshd))
            kill(pid, SIGCONT);
    });
    watcher.start(50);
    answer = [](const QString&, int) { return IDYES; };
    control<QPushButton>("btnStart")->click();
    for (pid_t pid : processTree(sshd))
        kill(pid, SIGCONT);

    EXPECT_GE(ticks, 80);
    EXPECT_TRUE(waiting.contains(QStringLiteral("の応答を待っています"))) << waiting.toStdString();
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().startsWith(QStringLiteral("コピーを中断しました。"))) << messages.back().toStdString();
    // Every file at the destination is whole and listed; nothing else is there.
    const auto& lines = control<CopiedListView>("lstCopied")->lines();
    const std::vector<std::string> arrived = testsupport::namesIn(target);
    EXPECT_EQ(static_cast<size_t>(lines.count()), arrived.size());
    EXPECT_LT(arrived.size(), 40u);
    for (const std::string& name : arrived)
        EXPECT_EQ(readFile(target + "/" + name), readFile(src + "/" + name)) << name;
}

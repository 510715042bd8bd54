// A run from the window onto a network share whose server stops answering.
#include "app/copiedlist.h"
#include "app/frmbase.h"
#include "app/textlabel.h"
#include "tests/support/networkshare.h"
#include "tests/support/testsupport.h"
#include "util/ui/messagebox.h"
#include "windowtest.h"

#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::NetworkShare;
using testsupport::readFile;
using testsupport::ShareKind;
using testsupport::writeFile;

namespace {

class ShareRun : public WindowTest, public testing::WithParamInterface<ShareKind> { };

} // namespace

TEST_P(ShareRun, APausedServerFreezesNeitherTheWindowNorItsStop)
{
    chmod(dir.path().c_str(), 0755); // for the server's own user to reach its export
    NetworkShare share(GetParam(), dir / "share");
    if (share.unavailable())
        GTEST_SKIP() << share.whyNot();
    ASSERT_EQ(share.whyNot(), "");
    for (int i = 0; i < 40; ++i)
        writeFile(src + "/f" + std::to_string(i), std::string(1000, char('a' + i % 26)), 1700000000);
    const std::string target = share.root() + "/dst";
    fill(src, target);
    window->setParallelCopies(1);

    // The server stops answering as the second copy begins.
    std::atomic<int> copies { 0 };
    std::atomic<bool> paused { false };
    window->beforeThreadedCopy = [&] {
        if (++copies != 2)
            return;
        share.pause();
        paused = true;
    };
    // While it is paused, the window's timers tick, the status line comes
    // to tell what the run waits for (after 3 s), and Stop is taken; then
    // the server goes on. rclone with a cache of writes keeps the files to
    // send later, and its run need not wait at all.
    int ticks = 0;
    bool stopped = false;
    QString waiting;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!paused)
            return;
        waiting = control<TextLabel>("lbMsg")->text();
        if (++ticks < 400 && !waiting.contains(QStringLiteral("の応答を待っています")))
            return;
        watcher.stop();
        stopped = true;
        control<QPushButton>("btnStop")->click();
        share.resume();
    });
    watcher.start(50);
    answer = [](const QString&, int) { return IDYES; };
    control<QPushButton>("btnStart")->click();
    finishRun();
    share.resume();

    ASSERT_FALSE(messages.empty());
    const auto& lines = control<CopiedListView>("lstCopied")->lines();
    const std::vector<std::string> arrived = testsupport::namesIn(target);
    if (GetParam() != ShareKind::RcloneWrites || stopped) {
        EXPECT_GE(ticks, 40); // 2 s of the window's ticks while the server did not answer
        EXPECT_TRUE(waiting.contains(QStringLiteral("の応答を待っています"))) << waiting.toStdString();
        EXPECT_TRUE(messages.back().startsWith(QStringLiteral("コピーを中断しました。")))
            << messages.back().toStdString();
        EXPECT_LT(arrived.size(), 40u);
    }
    // Every file at the destination is whole and listed; nothing else is there.
    EXPECT_EQ(static_cast<size_t>(lines.count()), arrived.size());
    for (const std::string& name : arrived)
        EXPECT_EQ(readFile(target + "/" + name), readFile(src + "/" + name)) << name;
}

INSTANTIATE_TEST_SUITE_P(Kinds, ShareRun, testing::ValuesIn(testsupport::allShareKinds),
    testsupport::shareKindRow<testing::TestParamInfo<ShareKind>>);

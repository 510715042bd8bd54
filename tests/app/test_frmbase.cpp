#include "app/copiedlist.h"
#include "app/frmbase.h"
#include "app/textlabel.h"
#include "tests/support/duringcopy.h"
#include "util/ui/twips.h"
#include "windowtest.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using testsupport::writeFile;

namespace {

class MainWindow : public WindowTest { };

} // namespace

TEST_F(MainWindow, StartsWithTheHistoriesFromTheStore)
{
    delete window.data();
    ASSERT_TRUE(store->open());
    store->write("SrcList", QStringLiteral("2024/01/02 03:04:05\t/home/me/photos\n2025/01/02 03:04:05\t/home/me/docs"));
    store->write("MRUList", QStringLiteral("/home/me/a.vstl"));
    store->close();

    window = new frmBase(*store);
    window->load();
    auto* source = control<QComboBox>("cmbSrc");
    ASSERT_EQ(source->count(), 2);
    EXPECT_EQ(source->itemText(0), "/home/me/docs");
    EXPECT_TRUE(source->currentText().isEmpty());
    EXPECT_TRUE(control<QAction>("mnuFileMRU", 0)->isVisible());
    EXPECT_EQ(control<QAction>("mnuFileMRU", 0)->text(), "/home/me/a.vstl");
    EXPECT_FALSE(control<QAction>("mnuFileMRU", 1)->isVisible());
    EXPECT_EQ(control<QPushButton>("btnEst")->text(), QStringLiteral("コピー先の\n必要容量見積"));
}

TEST_F(MainWindow, CloseBoxDuringARunStopsWithoutAsking)
{
    for (const char* name : { "/1", "/2" })
        writeFile(src + name, "x", 1700000000);
    for (const char* run : { "btnStart", "btnEst" }) {
        if (!window) {
            window = new frmBase(*store);
            window->load();
            window->show();
        }
        fill(src, dst);
        bool refused = false;
        const auto close = [&] { refused = !window->close() && messages.empty(); };
        testsupport::actDuringFirstCopy(*window, close);
        actDuringEstimate(*window, close);
        control<QPushButton>(run)->click();
        finishRun();
        EXPECT_TRUE(refused) << run;
        // The run stopped, and the close waited for its end.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(window.isNull()) << run;
    }
    EXPECT_EQ(testsupport::namesIn(dst).size(), 1u);
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindow, CloseBoxDuringAnAnimationStepWaitsForIt)
{
    EXPECT_FALSE(closeDuringAnimationStep(*window));
    // The step drawn, the close it waited for is carried out.
    EXPECT_FALSE(window && window->isVisible());
}

TEST_F(MainWindow, EndDuringARunAsksFirst)
{
    writeFile(src + "/1", "x", 1700000000);
    fill(src, dst);
    answer = [](const QString&, int) { return IDNO; };
    testsupport::actDuringFirstCopy(*window, [&] { control<QPushButton>("btnEnd")->click(); });
    control<QPushButton>("btnStart")->click();
    finishRun();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], QStringLiteral("終了しますか"));
    EXPECT_EQ(flagsShown[0], MB_YESNO);
    EXPECT_EQ(titles[0], frmBase::kCaption);
    // Declined: the run goes on to its summary.
    EXPECT_TRUE(messages[1].startsWith(QStringLiteral("コピーが終了しました。")));

    answer = nullptr;
    writeFile(src + "/2", "x", 1700000000);
    bool open = false;
    testsupport::actDuringFirstCopy(*window, [&] {
        control<QAction>("mnuFileEnd")->trigger();
        open = !window.isNull();
    });
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_TRUE(open);
    EXPECT_EQ(messages.size(), 3u); // no summary
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST_F(MainWindow, EndWithoutARunClosesEveryWindow)
{
    auto* other = new QWidget;
    QPointer<QWidget> otherWindow = other;
    other->show();
    control<QPushButton>("btnEnd")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(otherWindow.isNull());
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindow, InteractiveMessagesUseTheMessageBox)
{
    answer = [](const QString&, int) { return IDNO; };
    EXPECT_EQ(window->nShowMessage(QStringLiteral("本当に？"), MB_YESNO, QStringLiteral("題")), IDNO);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(titles[0], QStringLiteral("題"));
}

TEST_F(MainWindow, OpensWithTheDesignedClientAreaBelowItsMenuBar)
{
    QCoreApplication::processEvents();
    EXPECT_EQ(window->centralWidget()->size(), QSize(twipsToPixelsX(11880), twipsToPixelsY(8595)));
    EXPECT_EQ(control("lbMsg")->y(), twipsToPixelsY(8280));
    EXPECT_EQ(control("lstCopied")->height(), twipsToPixelsY(4350));
    EXPECT_EQ(control("btnStart")->y(), twipsToPixelsY(7350));
}

TEST_F(MainWindow, ResizingMovesTheBottomRowAndStretchesTheList)
{
    auto* list = control("lstCopied");
    auto* end = control("btnEnd");
    auto* msg = control("lbMsg");
    const int dx = twipsToPixelsX(1500), dy = twipsToPixelsY(1500);
    // The designed size is below the size that rearranges: start above it.
    window->resize(window->width() + dx, window->height() + dy);
    QCoreApplication::processEvents();
    const QRect listBefore = list->geometry();
    const QRect endBefore = end->geometry();
    const QRect msgBefore = msg->geometry();
    window->resize(window->width() + dx, window->height() + dy);
    QCoreApplication::processEvents();

    EXPECT_NEAR(msg->y(), msgBefore.y() + dy, 2);
    EXPECT_EQ(msg->y() + msg->height(), window->centralWidget()->height());
    EXPECT_NEAR(end->y(), endBefore.y() + dy, 2);
    EXPECT_EQ(end->x(), endBefore.x());
    EXPECT_NEAR(list->height(), listBefore.height() + dy, 2);
    EXPECT_NEAR(list->width(), listBefore.width() + dx, 2);
    // The background spans the window's outer width, frame included.
    EXPECT_NEAR(control("imgBG")->width(), window->frameGeometry().width(), 1);
}

TEST_F(MainWindow, CountsTheSourceInTheBackgroundAndRecountsOnEveryChange)
{
    for (int i = 0; i < 2000; ++i)
        writeFile(dir / ("big/" + std::to_string(i % 20) + "/" + std::to_string(i)), "x");
    writeFile(src + "/a", "a");
    writeFile(src + "/sub/b", "b");
    auto* count = control<TextLabel>("lbCountNum");
    // Shows TEXT once the count is in, or whatever it shows after 30 s.
    auto shown = [&](const QString& text) {
        QElapsedTimer clock;
        clock.start();
        while (count->text() != text && clock.elapsed() < 30000)
            QTest::qWait(10);
        return count->text();
    };

    // The large tree's count may or may not have begun when the source
    // changes again: either way only the last source's count is shown.
    control<QComboBox>("cmbSrc")->setEditText(QString::fromStdString(dir / "big"));
    QTest::qWait(350);
    control<QComboBox>("cmbSrc")->setEditText(QString::fromStdString(src));
    EXPECT_EQ(count->text(), "0");
    EXPECT_EQ(shown("2"), "2");
    control<QCheckBox>("chkSubDir")->setChecked(false);
    EXPECT_EQ(shown("1"), "1");
    control<QComboBox>("cmbSrc")->setEditText(QString::fromStdString(dir / "big"));
    control<QCheckBox>("chkSubDir")->setChecked(true);
    EXPECT_EQ(shown("2000"), "2000");
}

// Start refused by the checks (no destination) changes nothing: the count
// the source's change asked for still comes.
TEST_F(MainWindow, ARefusedStartLeavesTheCountToCome)
{
    writeFile(src + "/a", "a");
    writeFile(src + "/sub/b", "b");
    control<QComboBox>("cmbSrc")->setEditText(QString::fromStdString(src));
    control<QPushButton>("btnStart")->click();
    finishRun();
    ASSERT_EQ(messages.size(), 1u); // the refusal
    auto* count = control<TextLabel>("lbCountNum");
    QElapsedTimer clock;
    clock.start();
    while (count->text() != "2" && clock.elapsed() < 10000)
        QTest::qWait(10);
    EXPECT_EQ(count->text(), "2");
}

// A batch command line whose copy set cannot be read opens the window to
// mend the job in, and says so once the window is up.
TEST_F(MainWindow, SaysWhenTheCommandLinesCopySetCannotBeRead)
{
    const QString missing = QString::fromStdString(dir / "missing.vstl");
    delete window.data();
    window = new frmBase(*store);
    window->load({ QStringLiteral("-f"), missing });
    window->show();
    EXPECT_TRUE(messages.empty());
    QTest::qWait(1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("設定ファイル ") + missing + QStringLiteral(" を読み込めません。"));
    EXPECT_EQ(flagsShown[0], MB_ICONERROR);
}

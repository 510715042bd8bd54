#include "app/copiedlist.h"
#include "app/desktop.h"
#include "app/frmbase.h"
#include "app/frmerr.h"
#include "app/textlabel.h"
#include "settings/store/store.h"
#include "tests/support/duringcopy.h"
#include "tests/support/testsupport.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"
#include "windowtest.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <ctime>
#include <gtest/gtest.h>
#include <thread>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

class RunControl : public WindowTest {
protected:
    bool focused(QWidget* widget) const
    {
        QWidget* focus = window->focusWidget();
        return focus == widget || widget->isAncestorOf(focus);
    }
};

} // namespace

TEST_F(RunControl, CopiesFromTheWindowAndRecordsTheHistories)
{
    writeFile(src + "/a.txt", "a", 1700000000);
    writeFile(src + "/sub/b.txt", "b", 1700000000);
    writeFile(dst + "/up-to-date.txt", "u", 1700000000);
    writeFile(src + "/up-to-date.txt", "u", 1700000000);
    fill(src, dst);
    QString statusDuringSummary = QStringLiteral("not asked");
    answer = [&](const QString&, int) {
        statusDuringSummary = control<TextLabel>("lbMsg")->text();
        return IDOK;
    };
    control<QPushButton>("btnStart")->click();
    finishRun();

    EXPECT_EQ(readFile(dst + "/a.txt"), "a");
    EXPECT_EQ(readFile(dst + "/sub/b.txt"), "b");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("コピーが終了しました。検査ファイル数： 3 コピーした数： 2"));
    EXPECT_EQ(titles[0], frmBase::kCaption);
    EXPECT_EQ(control<TextLabel>("lbCheckNum")->text(), "3");
    EXPECT_EQ(control<TextLabel>("lbCopyNum")->text(), "2");
    EXPECT_EQ(control<CopiedListView>("lstCopied")->lines().count(), 2);
    EXPECT_FALSE(control<QPushButton>("btnStop")->isEnabled());
    // The status line is empty while the summary is up, and keeps it afterwards with its time.
    EXPECT_TRUE(statusDuringSummary.isEmpty());
    EXPECT_TRUE(control<TextLabel>("lbMsg")->text().endsWith(QStringLiteral(" ") + messages[0]));

    ASSERT_EQ(control<QComboBox>("cmbSrc")->count(), 1);
    EXPECT_EQ(control<QComboBox>("cmbSrc")->itemText(0).toStdString(), src);
    EXPECT_EQ(control<QComboBox>("cmbDst")->itemText(0).toStdString(), dst);
    ASSERT_TRUE(store->open());
    EXPECT_TRUE(store->read("SrcList").value_or("").endsWith(QString::fromStdString("\t" + src)));
    EXPECT_TRUE(store->read("DstList").value_or("").endsWith(QString::fromStdString("\t" + dst)));
    store->close();
}

TEST_F(RunControl, StopDuringARunEndsItAndLeavesTheHistories)
{
    for (const char* name : { "/1", "/2", "/3" })
        writeFile(src + name, std::string(64, 'x'), 1700000000);
    fill(src, dst);
    testsupport::actDuringFirstCopy(*window, [&] { control<QPushButton>("btnStop")->click(); });
    control<QPushButton>("btnStart")->click();
    finishRun();

    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], QStringLiteral("中断しますか"));
    EXPECT_EQ(titles[0], QStringLiteral("コピー中断"));
    EXPECT_EQ(messages[1], QStringLiteral("コピーを中断しました。検査ファイル数： 1 コピーした数： 1"));
    EXPECT_EQ(testsupport::namesIn(dst).size(), 1u);
    EXPECT_EQ(control<QComboBox>("cmbSrc")->count(), 0);
    ASSERT_TRUE(store->open());
    EXPECT_FALSE(store->read("SrcList").has_value());
    store->close();
}

TEST_F(RunControl, AnErrorCodeEndsTheRunButIsRecorded)
{
    writeFile(src + "/a", "new", 2000);
    writeFile(dst + "/a", "old", 1000);
    chmod((dst + "/a").c_str(), 0444);
    fill(src, dst);
    setDialogAnswerer([](QDialog& dialog) { dialog.findChild<QPushButton*>("btnStop")->click(); });
    control<QPushButton>("btnStart")->click();
    finishRun();
    setDialogAnswerer(nullptr);

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
        QStringLiteral("エラーのため、処理を中止しました。エラーコード：") + QString::number(EACCES)
            + QStringLiteral("検査ファイル数： 0 コピーした数： 0"));
    EXPECT_EQ(control<QComboBox>("cmbSrc")->count(), 1);
}

TEST_F(RunControl, EveryCheckNamesWhatToMend)
{
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_EQ(messages.back(), QStringLiteral("コピー元を指定して下さい"));
    EXPECT_TRUE(focused(control("cmbSrc")));

    control<QComboBox>("cmbSrc")->setEditText(QString::fromStdString(src));
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_EQ(messages.back(), QStringLiteral("コピー先を指定して下さい"));
    EXPECT_TRUE(focused(control("cmbDst")));

    fill(src, dst);
    control<QLineEdit>("editIgn")->setText(QStringLiteral("abc"));
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_EQ(messages.back(), QStringLiteral("誤差を数値で入力して下さい。"));
    EXPECT_TRUE(focused(control("editIgn")));

    control<QLineEdit>("editIgn")->setText(QStringLiteral("1.5"));
    control<QCheckBox>("chkFilter")->setChecked(true);
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_EQ(messages.back(), QStringLiteral("拡張子フィルタを設定して下さい。"));
    EXPECT_TRUE(focused(control("btnFilter")));
    EXPECT_EQ(messages.size(), 4u);
    EXPECT_FALSE(testsupport::exists(dst)); // no run started
    for (const QString& title : titles)
        EXPECT_EQ(title, frmBase::kCaption);
}

// What a run takes from the controls shows in the folders the histories
// record and in what it copies.
TEST_F(RunControl, JobItemsFromTheControls)
{
    writeFile(src + "/data/a", "new", 1700000001);
    writeFile(src + "/data/sub/b", "b", 1700000000);
    writeFile(dst + "/data/data/a", "old", 1700000000);
    fill(src + "/data  ", "  " + dst + "/data");
    control<QCheckBox>("chkMakeDir")->setChecked(true);
    control<QCheckBox>("chkSubDir")->setChecked(false);
    control<QLineEdit>("editIgn")->setText(QString());

    answer = [](const QString&, int) { return IDNO; };
    control<QPushButton>("btnStart")->click();
    finishRun();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
        QStringLiteral("オプションで、コピー先フォルダの下にdataを作るように指定されていますが\r\nコピー先が、")
            + QString::fromStdString(dst + "/data/") + QStringLiteral("dataになってもよいですか？"));
    EXPECT_EQ(readFile(dst + "/data/data/a"), "old"); // declined: no run

    answer = nullptr;
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_EQ(messages.back(), QStringLiteral("コピーが終了しました。検査ファイル数： 1 コピーした数： 1"));
    EXPECT_EQ(control<QComboBox>("cmbSrc")->itemText(0).toStdString(), src + "/data");
    EXPECT_EQ(control<QComboBox>("cmbDst")->itemText(0).toStdString(), dst + "/data/data");
    EXPECT_FALSE(testsupport::exists(dst + "/data/data/sub"));
    EXPECT_EQ(readFile(dst + "/data/data/a"), "new"); // no tolerance: a second later is newer

    // A root source only gains the trailing slash on the destination. (The
    // filter lets nothing of it be copied.)
    ASSERT_TRUE(load("chkFilter\t1\r\nlbFilterKind\t採用\r\nlbFilter\tno-such-extension\r\n"));
    control<QComboBox>("cmbSrc")->setEditText(QStringLiteral("/"));
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_EQ(control<QComboBox>("cmbDst")->itemText(0).toStdString(), dst + "/data/");
    EXPECT_EQ(testsupport::namesIn(dst + "/data"), std::vector<std::string> { "data" });
}

TEST_F(RunControl, ShortcutsMayBeFollowed)
{
    testsupport::makeDirs(dir / "real-source");
    testsupport::makeDirs(dir / "real-destination");
    ASSERT_EQ(symlink((dir / "real-source").c_str(), (dir / "Source.lnk").c_str()), 0);
    ASSERT_EQ(symlink((dir / "real-destination").c_str(), (dir / "Backup.lnk").c_str()), 0);
    fill(dir / "Source", dir / "Backup");
    auto* source = control<QComboBox>("cmbSrc");
    auto* destination = control<QComboBox>("cmbDst");

    // The folders a run takes show in the histories.
    answer = [](const QString&, int) { return IDNO; };
    control<QPushButton>("btnStart")->click();
    finishRun();
    ASSERT_EQ(messages.size(), 3u); // two questions, then the summary
    EXPECT_EQ(messages[0],
        QString::fromStdString(dir / "Source") + QStringLiteral("はショートカットのようです。")
            + QString::fromStdString(dir / "real-source") + QStringLiteral("に置き換えてよいですか？"));
    EXPECT_EQ(source->itemText(0).toStdString(), dir / "Source");

    answer = nullptr;
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_EQ(source->itemText(0).toStdString(), dir / "real-source");
    EXPECT_EQ(source->currentText().toStdString(), dir / "real-source");
    EXPECT_EQ(destination->itemText(0).toStdString(), dir / "real-destination");
    EXPECT_EQ(destination->currentText().toStdString(), dir / "real-destination");
}

TEST_F(RunControl, OptionFacesStayInStep)
{
    auto clickLabel = [](QLabel* label) {
        QMouseEvent release(
            QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(label, &release);
    };
    clickLabel(control<QLabel>("lbSubDir"));
    EXPECT_FALSE(control<QCheckBox>("chkSubDir")->isChecked());
    EXPECT_FALSE(control<QAction>("mnuOptSubDir")->isChecked());
    clickLabel(control<QLabel>("lbSubDir"));
    EXPECT_TRUE(control<QCheckBox>("chkSubDir")->isChecked());
    EXPECT_TRUE(control<QAction>("mnuOptSubDir")->isChecked());

    control<QAction>("mnuOptFilter")->trigger();
    EXPECT_TRUE(control<QCheckBox>("chkFilter")->isChecked());
    EXPECT_TRUE(control<QAction>("mnuOptFilter")->isChecked());
    control<QCheckBox>("chkFilter")->setChecked(false);
    EXPECT_FALSE(control<QAction>("mnuOptFilter")->isChecked());

    control<QCheckBox>("chkMakeDir")->setEnabled(false);
    clickLabel(control<QLabel>("lbMakeDir"));
    EXPECT_FALSE(control<QCheckBox>("chkMakeDir")->isChecked());
}

TEST_F(RunControl, TheWindowKeepsWorkingDuringALargeFile)
{
    // Larger than what the run copies on the window's own thread, with the
    // copies as the window makes them by default.
    const std::string large(2 << 20, 'L');
    writeFile(src + "/large.bin", large, 1700000000);
    fill(src, dst);
    // The copy waits until the window's own timer has ticked three times:
    // it can only tick if the window is pumping while the file is copied.
    std::atomic<int> ticks { 0 };
    std::atomic<bool> sawTicks { false };
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);
    window->beforeThreadedCopy = [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (ticks < 3 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        sawTicks = ticks >= 3;
    };
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_TRUE(sawTicks);
    EXPECT_EQ(readFile(dst + "/large.bin"), large);
}

TEST_F(RunControl, StartDoesNothingWhileARunIsInProgress)
{
    writeFile(src + "/a", "a", 1700000000);
    fill(src, dst);
    // A second click arrives while the first file is being copied.
    testsupport::actDuringFirstCopy(*window, [&] { control<QPushButton>("btnStart")->click(); });
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_EQ(messages.size(), 1u); // one summary: no second run
}

TEST_F(RunControl, SourceFromTheHistoryProposesItsDestination)
{
    fill(src, dst);
    testsupport::makeDirs(src);
    control<QPushButton>("btnStart")->click(); // records src with dst
    finishRun();
    control<QComboBox>("cmbDst")->setEditText(QString());
    control<QComboBox>("cmbSrc")->setCurrentIndex(0);
    emit control<QComboBox>("cmbSrc")->activated(0);
    EXPECT_EQ(control<QComboBox>("cmbDst")->currentText().toStdString(), dst);

    // A destination already given is kept.
    control<QComboBox>("cmbDst")->setEditText(QStringLiteral("/elsewhere"));
    emit control<QComboBox>("cmbSrc")->activated(0);
    EXPECT_EQ(control<QComboBox>("cmbDst")->currentText(), QStringLiteral("/elsewhere"));
}

// Real key presses, one per character, into the box's line, which then
// loses the focus as when the user moves on.
static void typeInto(QComboBox* combo, const QString& text, QWidget* next)
{
    combo->setFocus();
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(combo->lineEdit(), &press);
        QCoreApplication::sendEvent(combo->lineEdit(), &release);
    }
    next->setFocus();
    QCoreApplication::processEvents();
}

TEST_F(RunControl, TypedFoldersStayExactlyAsTyped)
{
    writeFile(src + "/a.txt", "a", 1700000000);
    const std::string older = dst + "/old";
    fill(src, older);
    control<QPushButton>("btnStart")->click(); // the histories now hold src and dst/old
    finishRun();
    window->activateWindow();
    QApplication::setActiveWindow(window);

    control<QComboBox>("cmbSrc")->setEditText(QString());
    control<QComboBox>("cmbDst")->setEditText(QString());
    typeInto(control<QComboBox>("cmbSrc"), QString::fromStdString(src), control<QComboBox>("cmbDst"));
    typeInto(control<QComboBox>("cmbDst"), QString::fromStdString(dst), control<QPushButton>("btnStart"));
    EXPECT_EQ(control<QComboBox>("cmbDst")->currentText().toStdString(), dst);
    EXPECT_EQ(control<QComboBox>("cmbSrc")->currentText().toStdString(), src);
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_EQ(readFile(dst + "/a.txt"), "a");

    // A text that differs from an entry only in case is not folded into it.
    const QString upper = QString::fromStdString(older).toUpper();
    control<QComboBox>("cmbDst")->setEditText(QString());
    typeInto(control<QComboBox>("cmbDst"), upper, control<QPushButton>("btnStart"));
    EXPECT_EQ(control<QComboBox>("cmbDst")->currentText(), upper);
}

TEST_F(RunControl, EnterMovesOnWithoutStarting)
{
    fill(src, dst);
    testsupport::makeDirs(src);
    window->activateWindow();
    control("cmbSrc")->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(control<QComboBox>("cmbSrc")->lineEdit(), &enter);
    EXPECT_TRUE(focused(control("cmbDst")));
    QCoreApplication::sendEvent(control<QComboBox>("cmbDst")->lineEdit(), &enter);
    EXPECT_TRUE(focused(control("btnStart")));
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(testsupport::exists(dst));
}

TEST_F(RunControl, FilterDialogResultShowsOnTheWindow)
{
    chooseFilter(1, QStringLiteral(" .XLS doc\u3000ppt "));
    EXPECT_EQ(window->job().filterKind, FilterKind::Exclude);
    EXPECT_EQ(control<QLabel>("lbFilterKind")->text(), QStringLiteral("除外"));
    EXPECT_EQ(control<QLabel>("lbFilter")->text(), QStringLiteral("XLS doc ppt"));

    // With the filter on, a run passes over the excluded files.
    writeFile(src + "/keep.txt", "k", 1700000000);
    writeFile(src + "/skip.doc", "s", 1700000000);
    fill(src, dst);
    control<QCheckBox>("chkFilter")->setChecked(true);
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_EQ(testsupport::namesIn(dst), std::vector<std::string> { "keep.txt" });
}

TEST_F(RunControl, BrowsingAndCancellingKeepsTheText)
{
    testsupport::makeDirs(dir / "picked");
    control<QComboBox>("cmbSrc")->setEditText(QStringLiteral("/typed"));
    setDialogAnswerer([](QDialog& dialog) { dialog.reject(); });
    control<QPushButton>("btnSrc")->click();
    EXPECT_EQ(control<QComboBox>("cmbSrc")->currentText(), QStringLiteral("/typed"));

    const QString picked = QString::fromStdString(dir / "picked");
    setDialogAnswerer([&](QDialog& dialog) {
        auto& browser = static_cast<QFileDialog&>(dialog);
        browser.setDirectory(picked);
        browser.selectFile(picked);
        static_cast<QDialog&>(browser).accept();
    });
    control<QPushButton>("btnDst")->click();
    setDialogAnswerer(nullptr);
    EXPECT_EQ(control<QComboBox>("cmbDst")->currentText(), picked);
}

TEST_F(RunControl, ElapsedSecondsAndTheOperationMenu)
{
    writeFile(src + "/a", "a", 1700000000);
    fill(src, dst);
    // The first copy lasts until the window's clock has ticked, however long
    // that takes on a busy machine; the seconds shown are those that passed.
    int shown = 0;
    qint64 passed = 0;
    bool stopOffered = false;
    testsupport::actDuringFirstCopy(*window, [&] {
        QElapsedTimer clock;
        clock.start();
        TextLabel* seconds = control<TextLabel>("lbSec");
        while (seconds->text() == QLatin1String("0") && clock.elapsed() < 30000)
            QTest::qWait(20);
        shown = seconds->text().toInt();
        passed = clock.elapsed() / 1000;
        emit control<QMenu>("mnuExe")->aboutToShow();
        stopOffered = control<QAction>("mnuExeStop")->isEnabled();
    });
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_TRUE(shown >= 1 && shown <= passed + 2) << shown << " after " << passed << " s";
    EXPECT_TRUE(stopOffered);
    emit control<QMenu>("mnuExe")->aboutToShow();
    EXPECT_FALSE(control<QAction>("mnuExeStop")->isEnabled());
}

TEST_F(RunControl, QuittingDuringARunClosesWithoutASummary)
{
    for (const char* name : { "/1", "/2" })
        writeFile(src + name, "x", 1700000000);
    fill(src, dst);
    testsupport::actDuringFirstCopy(*window, [&] { window->close(); });
    control<QPushButton>("btnStart")->click();
    finishRun();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(messages.empty()); // neither a question nor a summary
    EXPECT_EQ(testsupport::namesIn(dst).size(), 1u);
    ASSERT_TRUE(store->open());
    EXPECT_FALSE(store->read("SrcList").has_value());
    store->close();
}

TEST_F(RunControl, TheEndOfALongRunIsToldToTheDesktopOnlyWhenTheWindowIsNotActive)
{
    writeFile(src + "/a.txt", "a", 1700000000);
    fill(src, dst);
    window->setLongRun(std::chrono::seconds(0));
    std::vector<QString> told;
    setDesktopNotifier([&](const QString&, const QString& text) { told.push_back(text); });

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_TRUE(told.empty());

    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    control<QPushButton>("btnStart")->click();
    finishRun();
    setDesktopNotifier(nullptr);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], messages.back());
}

// The error question is a window-modal dialog of the window's own event loop:
// Start has returned while it waits, the window still paints and hears its
// close box (which stops the run once answered), and the run goes on only
// with the answer.
TEST_F(RunControl, TheErrorQuestionWaitsInTheWindowsOwnEventLoop)
{
    writeFile(src + "/a", "new", 2000);
    writeFile(dst + "/a", "old", 1000);
    chmod((dst + "/a").c_str(), 0444);
    writeFile(src + "/b", "b", 2000);
    fill(src, dst);
    control<QPushButton>("btnStart")->click();
    QPointer<frmErr> question;
    while (!question) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        question = window->findChild<frmErr*>();
    }
    EXPECT_EQ(question->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(window->runInProgress());
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(messages.empty()); // the run waits for the answer
    question->findChild<QPushButton*>("btnNext")->click();
    finishRun();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(messages.empty());
}

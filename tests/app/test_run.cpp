#include "app/copiedlist.h"
#include "app/frmbase.h"
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
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
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
    window->btnStart->click();

    EXPECT_EQ(readFile(dst + "/a.txt"), "a");
    EXPECT_EQ(readFile(dst + "/sub/b.txt"), "b");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("コピーが終了しました。検査ファイル数： 3 コピーした数： 2"));
    EXPECT_EQ(titles[0], frmBase::kCaption);
    EXPECT_EQ(window->lbCheckNum->text(), "3");
    EXPECT_EQ(window->lbCopyNum->text(), "2");
    EXPECT_EQ(window->lstCopied->lines().count(), 2);
    EXPECT_FALSE(window->btnStop->isEnabled());
    EXPECT_TRUE(window->lbMsg->text().isEmpty());

    ASSERT_EQ(window->cmbSrc->count(), 1);
    EXPECT_EQ(window->cmbSrc->itemText(0).toStdString(), src);
    EXPECT_EQ(window->cmbDst->itemText(0).toStdString(), dst);
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
    testsupport::actDuringFirstCopy(*window, [&] { window->btnStop->click(); });
    window->btnStart->click();

    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], QStringLiteral("中断しますか"));
    EXPECT_EQ(titles[0], QStringLiteral("コピー中断"));
    EXPECT_EQ(messages[1], QStringLiteral("コピーを中断しました。検査ファイル数： 1 コピーした数： 1"));
    EXPECT_EQ(testsupport::namesIn(dst).size(), 1u);
    EXPECT_EQ(window->cmbSrc->count(), 0);
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
    window->btnStart->click();
    setDialogAnswerer(nullptr);

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
        QStringLiteral("エラーのため、処理を中止しました。エラーコード：") + QString::number(EACCES)
            + QStringLiteral("検査ファイル数： 0 コピーした数： 0"));
    EXPECT_EQ(window->cmbSrc->count(), 1);
}

TEST_F(RunControl, EveryCheckNamesWhatToMend)
{
    window->btnStart->click();
    EXPECT_EQ(messages.back(), QStringLiteral("コピー元を指定して下さい"));
    EXPECT_TRUE(focused(window->cmbSrc));

    window->cmbSrc->setEditText(QString::fromStdString(src));
    window->btnStart->click();
    EXPECT_EQ(messages.back(), QStringLiteral("コピー先を指定して下さい"));
    EXPECT_TRUE(focused(window->cmbDst));

    fill(src, dst);
    window->editIgn->setText(QStringLiteral("abc"));
    window->btnStart->click();
    EXPECT_EQ(messages.back(), QStringLiteral("誤差を数値で入力して下さい。"));
    EXPECT_TRUE(focused(window->editIgn));

    window->editIgn->setText(QStringLiteral("1.5"));
    window->chkFilter->setChecked(true);
    window->btnStart->click();
    EXPECT_EQ(messages.back(), QStringLiteral("拡張子フィルタを設定して下さい。"));
    EXPECT_TRUE(focused(window->btnFilter));
    EXPECT_EQ(messages.size(), 4u);
    EXPECT_FALSE(testsupport::exists(dst)); // no run started
    for (const QString& title : titles)
        EXPECT_EQ(title, frmBase::kCaption);
}

TEST_F(RunControl, JobItemsFromTheControls)
{
    testsupport::makeDirs(src + "/data");
    fill(src + "/data  ", "  " + dst + "/data");
    window->chkMakeDir->setChecked(true);
    window->chkSubDir->setChecked(false);
    window->editIgn->setText(QString());

    answer = [](const QString&, int) { return IDNO; };
    EXPECT_FALSE(window->bCheckJob());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
        QStringLiteral("オプションで、コピー先フォルダの下にdataを作るように指定されていますが\r\nコピー先が、")
            + QString::fromStdString(dst + "/data/") + QStringLiteral("dataになってもよいですか？"));

    answer = nullptr;
    std::optional<RunOrder> job = window->bCheckJob();
    ASSERT_TRUE(job);
    EXPECT_EQ(job->source, src + "/data");
    EXPECT_EQ(job->destination, dst + "/data/data");
    EXPECT_FALSE(job->subfolders);
    EXPECT_EQ(job->toleranceSeconds, 0);

    // A root source only gains the trailing slash on the destination.
    window->cmbSrc->setEditText(QStringLiteral("/"));
    job = window->bCheckJob();
    ASSERT_TRUE(job);
    EXPECT_EQ(job->destination, dst + "/data/");
}

TEST_F(RunControl, ShortcutsMayBeFollowed)
{
    testsupport::makeDirs(dir / "real-source");
    testsupport::makeDirs(dir / "real-destination");
    ASSERT_EQ(symlink((dir / "real-source").c_str(), (dir / "Source.lnk").c_str()), 0);
    ASSERT_EQ(symlink((dir / "real-destination").c_str(), (dir / "Backup.lnk").c_str()), 0);
    fill(dir / "Source", dir / "Backup");

    answer = [](const QString&, int) { return IDNO; };
    std::optional<RunOrder> job = window->bCheckJob();
    ASSERT_TRUE(job);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0],
        QString::fromStdString(dir / "Source") + QStringLiteral("はショートカットのようです。")
            + QString::fromStdString(dir / "real-source") + QStringLiteral("に置き換えてよいですか？"));
    EXPECT_EQ(job->source, dir / "Source");

    answer = nullptr;
    job = window->bCheckJob();
    ASSERT_TRUE(job);
    EXPECT_EQ(job->source, dir / "real-source");
    EXPECT_EQ(window->cmbSrc->currentText().toStdString(), dir / "real-source");
    EXPECT_EQ(job->destination, dir / "real-destination");
    EXPECT_EQ(window->cmbDst->currentText().toStdString(), dir / "real-destination");
}

TEST_F(RunControl, OptionFacesStayInStep)
{
    auto clickLabel = [](QLabel* label) {
        QMouseEvent release(
            QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(label, &release);
    };
    clickLabel(window->lbSubDir);
    EXPECT_FALSE(window->chkSubDir->isChecked());
    EXPECT_FALSE(window->mnuOptSubDir->isChecked());
    clickLabel(window->lbSubDir);
    EXPECT_TRUE(window->chkSubDir->isChecked());
    EXPECT_TRUE(window->mnuOptSubDir->isChecked());

    window->mnuOptFilter->trigger();
    EXPECT_TRUE(window->chkFilter->isChecked());
    EXPECT_TRUE(window->mnuOptFilter->isChecked());
    window->chkFilter->setChecked(false);
    EXPECT_FALSE(window->mnuOptFilter->isChecked());

    window->chkMakeDir->setEnabled(false);
    clickLabel(window->lbMakeDir);
    EXPECT_FALSE(window->chkMakeDir->isChecked());
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
    window->btnStart->click();
    EXPECT_TRUE(sawTicks);
    EXPECT_EQ(readFile(dst + "/large.bin"), large);
}

TEST_F(RunControl, StartDoesNothingWhileARunIsInProgress)
{
    writeFile(src + "/a", "a", 1700000000);
    fill(src, dst);
    // A second click arrives while the first file is being copied.
    testsupport::actDuringFirstCopy(*window, [&] { window->btnStart->click(); });
    window->btnStart->click();
    EXPECT_EQ(messages.size(), 1u); // one summary: no second run
}

TEST_F(RunControl, SourceFromTheHistoryProposesItsDestination)
{
    fill(src, dst);
    testsupport::makeDirs(src);
    window->btnStart->click(); // records src with dst
    window->cmbDst->setEditText(QString());
    window->cmbSrc->setCurrentIndex(0);
    emit window->cmbSrc->activated(0);
    EXPECT_EQ(window->cmbDst->currentText().toStdString(), dst);

    // A destination already given is kept.
    window->cmbDst->setEditText(QStringLiteral("/elsewhere"));
    emit window->cmbSrc->activated(0);
    EXPECT_EQ(window->cmbDst->currentText(), QStringLiteral("/elsewhere"));
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
    window->btnStart->click(); // the histories now hold src and dst/old
    window->activateWindow();
    QApplication::setActiveWindow(window);

    window->cmbSrc->setEditText(QString());
    window->cmbDst->setEditText(QString());
    typeInto(window->cmbSrc, QString::fromStdString(src), window->cmbDst);
    typeInto(window->cmbDst, QString::fromStdString(dst), window->btnStart);
    EXPECT_EQ(window->cmbDst->currentText().toStdString(), dst);
    EXPECT_EQ(window->cmbSrc->currentText().toStdString(), src);
    window->btnStart->click();
    EXPECT_EQ(readFile(dst + "/a.txt"), "a");

    // A text that differs from an entry only in case is not folded into it.
    const QString upper = QString::fromStdString(older).toUpper();
    window->cmbDst->setEditText(QString());
    typeInto(window->cmbDst, upper, window->btnStart);
    EXPECT_EQ(window->cmbDst->currentText(), upper);
}

TEST_F(RunControl, EnterMovesOnWithoutStarting)
{
    fill(src, dst);
    testsupport::makeDirs(src);
    window->activateWindow();
    window->cmbSrc->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(window->cmbSrc->lineEdit(), &enter);
    EXPECT_TRUE(focused(window->cmbDst));
    QCoreApplication::sendEvent(window->cmbDst->lineEdit(), &enter);
    EXPECT_TRUE(focused(window->btnStart));
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(testsupport::exists(dst));
}

TEST_F(RunControl, FilterDialogResultShowsOnTheWindow)
{
    setDialogAnswerer([](QDialog& dialog) {
        for (auto* option : dialog.findChildren<QRadioButton*>("optKind"))
            if (option->property("index").toInt() == 1)
                option->setChecked(true);
        for (auto* combo : dialog.findChildren<QComboBox*>("cmbExt"))
            if (combo->property("index").toInt() == 1)
                combo->setEditText(QStringLiteral(" .XLS doc\u3000ppt "));
        dialog.findChild<QPushButton*>("btnOK")->click();
    });
    window->btnFilter->click();
    setDialogAnswerer(nullptr);
    EXPECT_EQ(window->nExtFilterKind, 2);
    EXPECT_EQ(window->lbFilterKind->text(), QStringLiteral("除外"));
    EXPECT_EQ(window->lbFilter->text(), QStringLiteral("XLS doc ppt"));

    // With the filter on, a run passes over the excluded files.
    writeFile(src + "/keep.txt", "k", 1700000000);
    writeFile(src + "/skip.doc", "s", 1700000000);
    fill(src, dst);
    window->chkFilter->setChecked(true);
    window->btnStart->click();
    EXPECT_EQ(testsupport::namesIn(dst), std::vector<std::string> { "keep.txt" });
}

TEST_F(RunControl, BrowsingAndCancellingKeepsTheText)
{
    testsupport::makeDirs(dir / "picked");
    window->cmbSrc->setEditText(QStringLiteral("/typed"));
    setDialogAnswerer([](QDialog& dialog) { dialog.reject(); });
    window->btnSrc->click();
    EXPECT_EQ(window->cmbSrc->currentText(), QStringLiteral("/typed"));

    const QString picked = QString::fromStdString(dir / "picked");
    setDialogAnswerer([&](QDialog& dialog) {
        auto& browser = static_cast<QFileDialog&>(dialog);
        browser.setDirectory(picked);
        browser.selectFile(picked);
        static_cast<QDialog&>(browser).accept();
    });
    window->btnDst->click();
    setDialogAnswerer(nullptr);
    EXPECT_EQ(window->cmbDst->currentText(), picked);
}

TEST_F(RunControl, ElapsedSecondsAndTheOperationMenu)
{
    window->dtStart = DateTime::fromUnixSeconds(static_cast<std::int64_t>(std::time(nullptr)) - 5);
    window->Timer1_Timer();
    const int shown = window->lbSec->text().toInt();
    EXPECT_TRUE(shown == 5 || shown == 6) << shown;

    window->btnStop->setEnabled(true);
    emit window->mnuExe->aboutToShow();
    EXPECT_TRUE(window->mnuExeStop->isEnabled());
    window->btnStop->setEnabled(false);
    emit window->mnuExe->aboutToShow();
    EXPECT_FALSE(window->mnuExeStop->isEnabled());
}

TEST_F(RunControl, QuittingDuringARunClosesWithoutASummary)
{
    for (const char* name : { "/1", "/2" })
        writeFile(src + name, "x", 1700000000);
    fill(src, dst);
    testsupport::actDuringFirstCopy(*window, [&] { window->close(); });
    window->btnStart->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(messages.empty()); // neither a question nor a summary
    EXPECT_EQ(testsupport::namesIn(dst).size(), 1u);
    ASSERT_TRUE(store->open());
    EXPECT_FALSE(store->read("SrcList").has_value());
    store->close();
}

#include "app/copiedlist.h"
#include "app/frmbase.h"
#include "app/textlabel.h"
#include "app/textwidth.h"
#include "tests/support/duringcopy.h"
#include "tests/support/testsupport.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"
#include "windowtest.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using testsupport::writeFile;

namespace {

class Progress : public WindowTest {
protected:
    // Answers every error dialog with the button NAME, recording what it showed.
    void answerErrorsWith(const char* name)
    {
        setDialogAnswerer([this, name](QDialog& dialog) {
            shown.push_back(dialog.findChild<QLineEdit*>("editsrc")->text() + " | "
                + dialog.findChild<QPlainTextEdit*>("editDesc")->toPlainText());
            dialog.findChild<QPushButton*>(name)->click();
        });
    }

    // Tells the window of a checked file, as its engine does.
    void checked(const std::string& file, bool copied, const DateTime& time = DateTime())
    {
        static_cast<RunFace&>(*window).FileChecked("/s", file, time, copied);
    }

    // Runs the copy from src to dst, as Start does; its summary.
    QString run()
    {
        fill(src, dst);
        control<QPushButton>("btnStart")->click();
        finishRun();
        return messages.empty() ? QString() : messages.back();
    }

    std::vector<QString> shown;
};

const QString kDone = QStringLiteral("コピーが終了しました。");

} // namespace

TEST_F(Progress, CountersStatusAndListFollowTheRun)
{
    writeFile(src + "/new.txt", "n", 1700000000);
    writeFile(src + "/same.txt", "s", 1700000000);
    writeFile(dst + "/same.txt", "s", 1700000000);
    QString status;
    testsupport::actDuringFirstCopy(*window, [&] { status = control<TextLabel>("lbMsg")->text(); });
    EXPECT_TRUE(run().startsWith(kDone));

    EXPECT_EQ(control<TextLabel>("lbCheckNum")->text(), "2");
    EXPECT_EQ(control<TextLabel>("lbCopyNum")->text(), "1");
    EXPECT_EQ(control<TextLabel>("lbCountNum")->text(), "0");
    EXPECT_EQ(status, QString::fromStdString(src) + QStringLiteral(" 以下のファイルを比較コピーします．．．"));
    auto& lines = control<CopiedListView>("lstCopied")->lines();
    ASSERT_EQ(lines.count(), 1);
    EXPECT_EQ(lines.line(0),
        QString::fromStdString(DateTimeText(DateTime::fromUnixSeconds(1700000000)) + " " + dst + "/new.txt"));
}

TEST_F(Progress, TheRunsProgressShowsInTheStatusLineAndTheTitle)
{
    writeFile(src + "/big.bin", std::string(5 << 20, 'b'), 1700000000);
    fill(src, dst);
    auto* count = control<TextLabel>("lbCountNum");
    QElapsedTimer clock;
    clock.start();
    while (count->text() != "1" && clock.elapsed() < 30000)
        QTest::qWait(10);
    // A tick of the elapsed seconds while the large file's copy is held.
    QString status;
    QString title;
    testsupport::actDuringFirstCopy(*window, [&] {
        QMetaObject::invokeMethod(window, "Timer1_Timer");
        status = control<TextLabel>("lbMsg")->text();
        title = window->windowTitle();
    });
    control<QPushButton>("btnStart")->click();
    finishRun();

    const QString line = QStringLiteral("検査 0 / 1　コピー 0 B　");
    EXPECT_TRUE(status.startsWith(line) && status.contains(QStringLiteral("残り —　big.bin 0%　"))
        && status.endsWith(QStringLiteral(" 以下のファイルを比較コピーします．．．")))
        << status.toStdString();
    EXPECT_TRUE(title.startsWith(line) && title.endsWith(QStringLiteral("big.bin 0% - ") + frmBase::kCaption))
        << title.toStdString();
    EXPECT_EQ(window->windowTitle(), frmBase::kCaption);
    EXPECT_EQ(testsupport::readFile(dst + "/big.bin").size(), 5u << 20);
}

// An estimate copies nothing: its line tells what it has checked.
TEST_F(Progress, AnEstimatesProgressTellsWhatItHasChecked)
{
    writeFile(src + "/a.bin", "a");
    fill(src, dst);
    control<QPushButton>("btnEst")->click();
    ASSERT_TRUE(window->runInProgress());
    QMetaObject::invokeMethod(window, "Timer1_Timer");
    const QString title = window->windowTitle();
    finishRun();
    EXPECT_TRUE(title.contains(QStringLiteral("検査済み")) && !title.contains(QStringLiteral("コピー ")))
        << title.toStdString();
}

// Start takes the focus from the source box, and the box then takes a text
// that is in its list as picked from it: the count of that source must stay.
TEST_F(Progress, ASourceFromTheHistoryKeepsItsCountAsStartIsClicked)
{
    writeFile(src + "/a", "a", 1700000000);
    EXPECT_TRUE(run().startsWith(kDone)); // the history now holds src
    // The program started again, its job given anew.
    delete window.data();
    window = new frmBase(*store);
    window->load();
    window->show();
    QApplication::setActiveWindow(window);
    fill(src, dst + "2");
    auto* source = control<QComboBox>("cmbSrc");
    auto* count = control<TextLabel>("lbCountNum");
    QElapsedTimer clock;
    clock.start();
    while (count->text() != "1" && clock.elapsed() < 30000)
        QTest::qWait(10);
    QString status;
    testsupport::actDuringFirstCopy(*window, [&] {
        QMetaObject::invokeMethod(window, "Timer1_Timer");
        status = control<TextLabel>("lbMsg")->text();
    });
    source->setFocus();
    QTest::mouseClick(control<QPushButton>("btnStart"), Qt::LeftButton);
    finishRun();
    EXPECT_TRUE(status.startsWith(QStringLiteral("検査 0 / 1　"))) << status.toStdString();
}

TEST_F(Progress, CheckedButNotCopiedAddsNoLine)
{
    writeFile(src + "/a", "a", 1700000000);
    writeFile(dst + "/a", "a", 1700000000);
    run();
    EXPECT_EQ(control<TextLabel>("lbCheckNum")->text(), "1");
    EXPECT_EQ(control<TextLabel>("lbCheckFile")->text(), QString::fromStdString(dst + "/a"));
    EXPECT_EQ(control<TextLabel>("lbCopyNum")->text(), "0");
    EXPECT_EQ(control<CopiedListView>("lstCopied")->lines().count(), 0);
}

TEST_F(Progress, ZeroTimeLineStartsWithABlank)
{
    checked("/d/a", true);
    EXPECT_EQ(control<CopiedListView>("lstCopied")->lines().line(0), " /d/a");
}

TEST_F(Progress, EstimateLeavesTheCopyCountAlone)
{
    writeFile(src + "/a", "a", 1700000000);
    fill(src, dst);
    control<QPushButton>("btnEst")->click();
    finishRun();
    EXPECT_EQ(control<TextLabel>("lbCheckNum")->text(), "1");
    EXPECT_EQ(control<TextLabel>("lbCopyNum")->text(), "0");
    EXPECT_EQ(control<CopiedListView>("lstCopied")->lines().count(), 1);
}

TEST_F(Progress, HorizontalExtentOnlyGrows)
{
    auto* list = control<CopiedListView>("lstCopied");
    const int start = list->horizontalExtent();
    checked("/d/" + std::string(400, 'w'), true);
    const int wide = list->horizontalExtent();
    EXPECT_GT(wide, start);
    EXPECT_GT(wide, list->viewport()->width());
    checked("/d/short", true);
    EXPECT_EQ(list->horizontalExtent(), wide);
}

TEST_F(Progress, ClipboardTextFollowsTheSelection)
{
    for (int i = 1; i <= 5; ++i)
        checked("/d/" + std::to_string(i), true);
    auto* selection = control<CopiedListView>("lstCopied")->selectionModel();
    auto& lines = control<CopiedListView>("lstCopied")->lines();

    control<QAction>("mnuListCopy")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "");

    selection->select(lines.index(0), QItemSelectionModel::Select);
    selection->select(lines.index(2), QItemSelectionModel::Select);
    control<QAction>("mnuListCopy")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), " /d/1\r\n /d/3\r\n");

    control<QAction>("mnuListSelAll")->trigger();
    control<QAction>("mnuListCopy")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), " /d/1\r\n /d/2\r\n /d/3\r\n /d/4\r\n /d/5");

    control<QAction>("mnuListSelClear")->trigger();
    EXPECT_FALSE(selection->hasSelection());
}

TEST_F(Progress, ErrorDialogRepliesReachTheEngine)
{
    writeFile(src + "/a", "new", 2000);
    writeFile(dst + "/a", "old", 1000);
    chmod((dst + "/a").c_str(), 0444);

    answerErrorsWith("btnStop");
    EXPECT_TRUE(run().startsWith(QStringLiteral("エラーのため、処理を中止しました。エラーコード：")
        + QString::number(EACCES) + QStringLiteral("検査")));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].startsWith(QString::fromStdString(src + "/a | ")));

    answerErrorsWith("btnNext");
    EXPECT_TRUE(run().startsWith(kDone));
    EXPECT_EQ(shown.size(), 2u); // skipping this one asked about it

    // Retry after the user has made the file writable.
    setDialogAnswerer([&](QDialog& dialog) {
        chmod((dst + "/a").c_str(), 0644);
        dialog.findChild<QPushButton*>("btnRetry")->click();
    });
    EXPECT_TRUE(run().startsWith(kDone));
    EXPECT_EQ(testsupport::readFile(dst + "/a"), "new");
}

TEST_F(Progress, SkipAllSilencesTheRestOfTheRun)
{
    for (const char* name : { "/a", "/b", "/c" }) {
        writeFile(src + name, "new", 2000);
        writeFile(dst + name, "old", 1000);
        chmod((dst + name).c_str(), 0444);
    }
    answerErrorsWith("btnNext");
    EXPECT_TRUE(run().startsWith(kDone));
    EXPECT_EQ(shown.size(), 3u); // skip asks again for each error

    shown.clear();
    answerErrorsWith("btnNextAll");
    EXPECT_EQ(run(), kDone + QStringLiteral("検査ファイル数： 3 コピーした数： 0"));
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(Progress, ClosingTheDialogByItsFrameStops)
{
    writeFile(src + "/a", "new", 2000);
    writeFile(dst + "/a", "old", 1000);
    chmod((dst + "/a").c_str(), 0444);
    setDialogAnswerer([](QDialog& dialog) { dialog.close(); });
    EXPECT_TRUE(run().startsWith(QStringLiteral("エラーのため、処理を中止しました。エラーコード：")
        + QString::number(EACCES) + QStringLiteral("検査")));
}

TEST(TextWidth, CoversTheShapedLine)
{
    const QFont font = QApplication::font();
    TextWidth measure(font);
    const QFontMetrics metrics(font);
    for (const QString& line : { QStringLiteral("2024/06/01 00:01:00 /media/usb/写真/IMG_0001.jpg"),
             QStringLiteral("WWWWWWWWWW iiiiiiiiii"), QStringLiteral("絵文字 \U0001F600 入り"), QString() }) {
        const int shaped = metrics.horizontalAdvance(line);
        const int quick = measure.width(line);
        EXPECT_GE(quick, shaped - 1) << line.toStdString();
        EXPECT_LE(quick, shaped + line.size()) << line.toStdString();
    }
}

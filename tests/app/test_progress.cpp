#include "app/copiedlist.h"
#include "app/frmbase.h"
#include "app/textlabel.h"
#include "app/textwidth.h"
#include "settings/store/store.h"
#include "tests/support/testsupport.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testsupport::writeFile;

namespace {

class Progress : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = std::make_unique<SettingsStore>(QString::fromStdString(dir / "settings.ini"));
        window = std::make_unique<frmBase>(*store);
        window->load();
    }
    void TearDown() override { setDialogAnswerer(nullptr); }

    // Answers every error dialog with the button NAME, recording what it showed.
    void answerErrorsWith(const char* name)
    {
        setDialogAnswerer([this, name](QDialog& dialog) {
            shown.push_back(dialog.findChild<QLineEdit*>("editsrc")->text() + " | "
                + dialog.findChild<QPlainTextEdit*>("editDesc")->toPlainText());
            dialog.findChild<QPushButton*>(name)->click();
        });
    }

    testsupport::TempDir dir;
    std::string src = dir / "src";
    std::string dst = dir / "dst";
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<frmBase> window;
    std::vector<QString> shown;
};

} // namespace

TEST_F(Progress, CountersStatusAndListFollowTheRun)
{
    writeFile(src + "/new.txt", "n", 1700000000);
    writeFile(src + "/same.txt", "s", 1700000000);
    writeFile(dst + "/same.txt", "s", 1700000000);
    ASSERT_EQ(window->cpMan->CopyNews(src, dst, 0, true), 0);

    EXPECT_EQ(window->lbCheckNum->text(), "2");
    EXPECT_EQ(window->lbCopyNum->text(), "1");
    EXPECT_EQ(window->lbCountNum->text(), "0");
    EXPECT_EQ(
        window->lbMsg->text(), QString::fromStdString(src) + QStringLiteral(" 以下のファイルを比較コピーします．．．"));
    ASSERT_EQ(window->lstCopied->lines().count(), 1);
    EXPECT_EQ(window->lstCopied->lines().line(0),
        QString::fromStdString(DateTimeText(DateTime::fromUnixSeconds(1700000000)) + " " + dst + "/new.txt"));
}

TEST_F(Progress, CheckedButNotCopiedAddsNoLine)
{
    window->FileChecked("/s/a", "/d/a", DateTime(), false);
    EXPECT_EQ(window->lbCheckNum->text(), "1");
    EXPECT_EQ(window->lbCheckFile->text(), "/d/a");
    EXPECT_EQ(window->lbCopyNum->text(), "0");
    EXPECT_EQ(window->lstCopied->lines().count(), 0);
}

TEST_F(Progress, ZeroTimeLineStartsWithABlank)
{
    window->FileChecked("/s/a", "/d/a", DateTime(), true);
    EXPECT_EQ(window->lstCopied->lines().line(0), " /d/a");
}

TEST_F(Progress, EstimateLeavesTheCopyCountAlone)
{
    window->bEstimating = true;
    window->FileChecked("/s/a", "/d/a", DateTime::fromUnixSeconds(1), true);
    EXPECT_EQ(window->lbCopyNum->text(), "0");
    EXPECT_EQ(window->nCopyCount, 1);
    EXPECT_EQ(window->lstCopied->lines().count(), 1);
}

TEST_F(Progress, HorizontalExtentOnlyGrows)
{
    const int start = window->lstCopied->horizontalExtent();
    window->FileChecked("/s", "/d/" + std::string(400, 'w'), DateTime(), true);
    const int wide = window->lstCopied->horizontalExtent();
    EXPECT_GT(wide, start);
    EXPECT_GT(wide, window->lstCopied->viewport()->width());
    window->FileChecked("/s", "/d/short", DateTime(), true);
    EXPECT_EQ(window->lstCopied->horizontalExtent(), wide);
}

TEST_F(Progress, ClipboardTextFollowsTheSelection)
{
    for (int i = 1; i <= 5; ++i)
        window->FileChecked("/s", "/d/" + std::to_string(i), DateTime(), true);
    auto* selection = window->lstCopied->selectionModel();
    auto& lines = window->lstCopied->lines();

    window->mnuListCopy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "");

    selection->select(lines.index(0), QItemSelectionModel::Select);
    selection->select(lines.index(2), QItemSelectionModel::Select);
    window->mnuListCopy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), " /d/1\r\n /d/3\r\n");

    window->mnuListSelAll->trigger();
    window->mnuListCopy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), " /d/1\r\n /d/2\r\n /d/3\r\n /d/4\r\n /d/5");

    window->mnuListSelClear->trigger();
    EXPECT_FALSE(selection->hasSelection());
}

TEST_F(Progress, ErrorDialogRepliesReachTheEngine)
{
    writeFile(src + "/a", "new", 2000);
    writeFile(dst + "/a", "old", 1000);
    chmod((dst + "/a").c_str(), 0444);

    answerErrorsWith("btnStop");
    EXPECT_EQ(window->cpMan->CopyNews(src, dst, 0, false), EACCES);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].startsWith(QString::fromStdString(src + "/a | ")));

    answerErrorsWith("btnNext");
    EXPECT_EQ(window->cpMan->CopyNews(src, dst, 0, false), 0);
    EXPECT_FALSE(window->bSkipAll);

    // Retry after the user has made the file writable.
    setDialogAnswerer([&](QDialog& dialog) {
        chmod((dst + "/a").c_str(), 0644);
        dialog.findChild<QPushButton*>("btnRetry")->click();
    });
    EXPECT_EQ(window->cpMan->CopyNews(src, dst, 0, false), 0);
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
    EXPECT_EQ(window->cpMan->CopyNews(src, dst, 0, false), 0);
    EXPECT_EQ(shown.size(), 3u); // skip asks again for each error

    shown.clear();
    answerErrorsWith("btnNextAll");
    EXPECT_EQ(window->cpMan->CopyNews(src, dst, 0, false), 0);
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_TRUE(window->bSkipAll);
    EXPECT_EQ(window->lbCheckNum->text(), "6");
}

TEST_F(Progress, ClosingTheDialogByItsFrameStops)
{
    writeFile(src + "/a", "new", 2000);
    writeFile(dst + "/a", "old", 1000);
    chmod((dst + "/a").c_str(), 0444);
    setDialogAnswerer([](QDialog& dialog) { dialog.close(); });
    EXPECT_EQ(window->cpMan->CopyNews(src, dst, 0, false), EACCES);
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

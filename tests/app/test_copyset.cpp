#include "app/frmbase.h"
#include "app/textlabel.h"
#include "settings/copyset.h"
#include "settings/store/store.h"
#include "tests/support/testsupport.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"
#include "windowtest.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <gtest/gtest.h>
#include <optional>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

class CopySet : public WindowTest {
protected:
    // The next file dialog is answered with NAME (nothing: cancelled).
    void chooseInDialog(const std::optional<std::string>& name)
    {
        setDialogAnswerer([this, name](QDialog& shown) {
            dialogsShown.push_back(shown.objectName());
            windowEnabledDuringDialog = window->isEnabled();
            auto* files = qobject_cast<QFileDialog*>(&shown);
            if (!files || !name) {
                shown.reject();
                return;
            }
            // The dialog may change the process's folder while it browses.
            QDir::setCurrent(QString::fromStdString(dir / "elsewhere"));
            files->setDirectory(QString::fromStdString(dir.path()));
            files->selectFile(QString::fromStdString(*name));
            shown.accept();
        });
    }

    std::vector<QString> dialogsShown;
    bool windowEnabledDuringDialog = true;
};

} // namespace

TEST_F(CopySet, WritesTheWorkedExampleByteForByte)
{
    fill("C:\\Work", "D:\\Backup");
    control<QCheckBox>("chkSubDir")->setChecked(true);
    control<QCheckBox>("chkIgn")->setChecked(true);
    control<QLineEdit>("editIgn")->setText(QStringLiteral("2"));
    control<QCheckBox>("chkMakeDir")->setChecked(false);
    control<QCheckBox>("chkFilter")->setChecked(true);
    chooseFilter(1, QStringLiteral("doc ppt xls"));

    ASSERT_TRUE(window->bSaveCopySet(QString::fromStdString(dir / "example.vstl")));
    EXPECT_EQ(readFile(dir / "example.vstl"),
        "cmbSrc\tC:\\Work\r\ncmbDst\tD:\\Backup\r\nchkSubDir\t1\r\nchkIgn\t1\r\neditIgn\t2\r\nchkMakeDir\t0\r\n"
        "chkFilter\t1\r\nlbFilterKind\t除外\r\nlbFilter\tdoc ppt xls\r\nreg\tGradation\t-1\r\nreg\tBGPicture\t\r\n"
        "reg\tLabelColor\t0\r\n");

    // Read back into a window whose every value differs.
    control<QComboBox>("cmbSrc")->setEditText(QString());
    control<QCheckBox>("chkSubDir")->setChecked(false);
    ASSERT_TRUE(load("lbFilterKind\t\r\nlbFilter\t\r\nreg\tGradation\t5\r\n"));
    ASSERT_TRUE(window->bLoadCopySet(QString::fromStdString(dir / "example.vstl")));
    EXPECT_EQ(control<QComboBox>("cmbSrc")->currentText(), QStringLiteral("C:\\Work"));
    EXPECT_TRUE(control<QCheckBox>("chkSubDir")->isChecked());
    EXPECT_TRUE(control<QAction>("mnuOptSubDir")->isChecked());
    EXPECT_EQ(control<QLabel>("lbFilterKind")->text(), QStringLiteral("除外"));
    EXPECT_EQ(window->job().filterKind, FilterKind::Exclude);
    EXPECT_EQ(window->job().filterList, "doc ppt xls");
    EXPECT_EQ(window->job().gradation, -1);
}

TEST_F(CopySet, RoundTripsEveryValue)
{
    fill("/home/花子/写真", "/media/usb stick/写真");
    control<QCheckBox>("chkSubDir")->setChecked(false);
    control<QCheckBox>("chkIgn")->setChecked(true);
    control<QLineEdit>("editIgn")->setText(QStringLiteral(" 2.5x"));
    control<QCheckBox>("chkMakeDir")->setChecked(true);
    chooseFilter(0, QStringLiteral("jpg png"));
    control<QCheckBox>("chkFilter")->setChecked(false);
    const std::string picture = dir / "空.png";
    ASSERT_TRUE(load("reg\tGradation\t100\r\nreg\tBGPicture\t" + picture + "\r\nreg\tLabelColor\t" + "16744448"));
    ASSERT_TRUE(window->bSaveCopySet(QString::fromStdString(dir / "set.vstl")));

    frmBase other(*store);
    other.load();
    ASSERT_TRUE(other.bLoadCopySet(QString::fromStdString(dir / "set.vstl")));
    EXPECT_EQ(findControl<QComboBox>(other, "cmbSrc")->currentText(), control<QComboBox>("cmbSrc")->currentText());
    EXPECT_EQ(findControl<QComboBox>(other, "cmbDst")->currentText(), control<QComboBox>("cmbDst")->currentText());
    EXPECT_FALSE(findControl<QCheckBox>(other, "chkSubDir")->isChecked());
    EXPECT_TRUE(findControl<QCheckBox>(other, "chkIgn")->isChecked());
    EXPECT_EQ(findControl<QLineEdit>(other, "editIgn")->text(), QStringLiteral(" 2.5x"));
    EXPECT_TRUE(findControl<QCheckBox>(other, "chkMakeDir")->isChecked());
    EXPECT_FALSE(findControl<QCheckBox>(other, "chkFilter")->isChecked());
    EXPECT_EQ(findControl<QLabel>(other, "lbFilterKind")->text(), QStringLiteral("採用"));
    EXPECT_EQ(other.job().filterKind, FilterKind::Include);
    EXPECT_EQ(findControl<QLabel>(other, "lbFilter")->text(), QStringLiteral("jpg png"));
    EXPECT_EQ(other.job().gradation, 100);
    EXPECT_EQ(other.job().picture, picture);
    EXPECT_EQ(other.job().labelColor, 0x00FF8000);
    // The own picture does not exist: applying it says why, in each window.
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(CopySet, ReadsAShiftJisFileFromWindows)
{
    // "lbFilterKind TAB 除外" in code page 932, the way Windows wrote it.
    ASSERT_TRUE(load("lbFilterKind\t\x8F\x9C\x8A\x4F\r\nlbFilter\tdoc\r\n"));
    EXPECT_EQ(control<QLabel>("lbFilterKind")->text(), QStringLiteral("除外"));
    EXPECT_EQ(window->job().filterKind, FilterKind::Exclude);
    EXPECT_EQ(window->job().filterList, "doc");
}

TEST_F(CopySet, AppliesLinesAsTheReaderDefinesThem)
{
    control<QComboBox>("cmbSrc")->setEditText(QStringLiteral("/old"));
    control<QCheckBox>("chkIgn")->setChecked(true);
    ASSERT_TRUE(load("lbCountNum\t7\r\nreg\tGradation\t3\r\n"));
    ASSERT_EQ(control<TextLabel>("lbCountNum")->text(), QStringLiteral("7"));
    ASSERT_TRUE(load("CMBSRC\t\r\n"
                     "chkSubDir\t2\r\nchkMakeDir\t-1\r\nchkIgn\tyes\r\n"
                     "Reg\tGradation\t4\r\n"
                     "reg\tLabelColor\r\n"
                     "reg\tUnknownSetting\t1\r\n"
                     ";\tcmbDst\t/commented\r\n"
                     ";cmbDst\t/not a comment either\r\n"
                     "lbOption\tother caption\textra\r\n"
                     "btnStart\tpressed?\r\n"
                     "no tab on this line\r\n"
                     "cmbDst\t/first\r\ncmbDst\t/second\nstill the same line"));
    EXPECT_EQ(control<QComboBox>("cmbSrc")->currentText(), QString());
    // A new source text goes through the combo box's own change handling.
    EXPECT_EQ(control<TextLabel>("lbCountNum")->text(), QStringLiteral("0"));
    EXPECT_TRUE(control<QCheckBox>("chkSubDir")->isChecked());
    EXPECT_TRUE(control<QCheckBox>("chkMakeDir")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("chkIgn")->isChecked());
    EXPECT_FALSE(control<QAction>("mnuOptIgn")->isChecked());
    EXPECT_EQ(window->job().gradation, 3);
    EXPECT_EQ(window->job().labelColor, 0);
    EXPECT_EQ(control<QLabel>("lbOption")->text(), QStringLiteral("other caption"));
    EXPECT_EQ(control<QPushButton>("btnStart")->text(), QStringLiteral("コピー開始"));
    EXPECT_EQ(control<QComboBox>("cmbDst")->currentText(), QStringLiteral("/second\nstill the same line"));

    // Comments, other settings, a setting without its value and what is no
    // control leave the job alone; a value that is no number reads as 0.
    const CopyJob before = window->job();
    ASSERT_TRUE(load("'\tx\r\nreg\tOther\t1\r\nreg\tGradation\r\nTimer1\t1\r\nnosuchcontrol\t1\r\n"));
    EXPECT_EQ(window->job(), before);
    ASSERT_TRUE(load("reg\tGradation\tnot a number\r\n"));
    EXPECT_EQ(window->job().gradation, 0);
}

TEST_F(CopySet, TellsTheFilterKindByItsCaption)
{
    ASSERT_TRUE(load("lbFilterKind\tsomething else\r\n"));
    EXPECT_EQ(window->job().filterKind, FilterKind::Exclude);
    // Saved back, the caption is the one the window shows.
    ASSERT_TRUE(window->bSaveCopySet(QString::fromStdString(dir / "saved.vstl")));
    EXPECT_NE(testsupport::readFile(dir / "saved.vstl").find("lbFilterKind\tsomething else\r\n"), std::string::npos);
    ASSERT_TRUE(load("lbFilterKind\t採用\r\n"));
    EXPECT_EQ(window->job().filterKind, FilterKind::Include);
    ASSERT_TRUE(load("lbFilterKind\t\r\n"));
    EXPECT_EQ(window->job().filterKind, FilterKind::None);
}

TEST_F(CopySet, LoadsAnyTextFileAndRefusesWhatCannotBeRead)
{
    EXPECT_TRUE(load(""));
    EXPECT_TRUE(load("just some notes\nwithout any tab\n"));
    EXPECT_FALSE(window->bLoadCopySet(QString::fromStdString(dir / "absent.vstl")));
    EXPECT_FALSE(window->bLoadCopySet(QString::fromStdString(dir.path())));
    // A named pipe nobody writes to would hold the reader for ever.
    ASSERT_EQ(mkfifo((dir / "pipe.vstl").c_str(), 0600), 0);
    EXPECT_FALSE(window->bLoadCopySet(QString::fromStdString(dir / "pipe.vstl")));
    // Far larger than any copy set: not read at all.
    EXPECT_FALSE(load("cmbSrc\t/big\r\n" + std::string(2 << 20, 'x')));
    EXPECT_NE(control<QComboBox>("cmbSrc")->currentText(), QStringLiteral("/big"));
}

TEST_F(CopySet, ReportsASaveThatCannotBeWritten)
{
    writeFile(dir / "kept.vstl", "cmbSrc\t/kept\r\n");
    // The folder cannot take the new file (as an ordinary user).
    chmod(dir.path().c_str(), 0555);
    chmod((dir / "kept.vstl").c_str(), 0444);
    const QString path = QString::fromStdString(dir / "kept.vstl");
    EXPECT_TRUE(testsupport::asUnprivileged([&] { return !window->bSaveCopySet(path); }));
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(readFile(dir / "kept.vstl"), "cmbSrc\t/kept\r\n");
    EXPECT_FALSE(window->bSaveCopySet(QString::fromStdString(dir / "no/such/folder/set.vstl")));
}

TEST_F(CopySet, FileMenuSavesOpensAndRemembersCopySets)
{
    testsupport::makeDirs(dir / "elsewhere");
    const QString before = QDir::currentPath();
    EXPECT_FALSE(control<QAction>("mnuFileSave")->isEnabled());

    // Save As with a name typed without extension: the selected type adds it.
    control<QComboBox>("cmbSrc")->setEditText(QStringLiteral("/photos"));
    chooseInDialog("nightly");
    control<QAction>("mnuFileSaveAs")->trigger();
    const QString saved = QString::fromStdString(dir / "nightly.vstl");
    EXPECT_EQ(readFile(dir / "nightly.vstl").substr(0, 18), "cmbSrc\t/photos\r\ncm");
    EXPECT_TRUE(control<QAction>("mnuFileSave")->isEnabled());
    EXPECT_EQ(control<QAction>("mnuFileMRU", 0)->text(), saved);
    EXPECT_TRUE(control<QAction>("mnuFileMRU", 0)->isVisible());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("現在の設定を ") + saved + QStringLiteral("に保存しました。"));
    EXPECT_EQ(flagsShown[0], MB_OK);
    EXPECT_FALSE(windowEnabledDuringDialog);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(QDir::currentPath(), before);

    // Overwrite keeps the file and the recent list's order.
    control<QComboBox>("cmbSrc")->setEditText(QStringLiteral("/photos/2026"));
    control<QAction>("mnuFileSave")->trigger();
    EXPECT_EQ(readFile(dir / "nightly.vstl").substr(0, 21), "cmbSrc\t/photos/2026\r\n");
    EXPECT_EQ(messages.back(), QStringLiteral("現在の設定を ") + saved + QStringLiteral("に保存しました。"));

    // Open another set, then the first one again from the recent list.
    writeFile(dir / "other.vstl", "cmbSrc\t/music\r\n");
    chooseInDialog("other.vstl");
    control<QAction>("mnuFileOpen")->trigger();
    EXPECT_EQ(control<QComboBox>("cmbSrc")->currentText(), QStringLiteral("/music"));
    EXPECT_EQ(control<QAction>("mnuFileMRU", 0)->text(), QString::fromStdString(dir / "other.vstl"));
    EXPECT_EQ(control<QAction>("mnuFileMRU", 1)->text(), saved);
    control<QAction>("mnuFileMRU", 1)->trigger();
    EXPECT_EQ(control<QComboBox>("cmbSrc")->currentText(), QStringLiteral("/photos/2026"));
    EXPECT_EQ(control<QAction>("mnuFileMRU", 0)->text(), saved);
    EXPECT_EQ(QDir::currentPath(), before);
    EXPECT_EQ(dialogsShown,
        (std::vector<QString> { QStringLiteral("CommonDialogSave"), QStringLiteral("CommonDialogOpen") }));
}

TEST_F(CopySet, FileMenuFailuresLeaveTheWindowAsItWas)
{
    const QString before = QDir::currentPath();
    chooseInDialog(std::nullopt);
    control<QAction>("mnuFileOpen")->trigger();
    control<QAction>("mnuFileSaveAs")->trigger();
    EXPECT_FALSE(control<QAction>("mnuFileSave")->isEnabled());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(QDir::currentPath(), before);

    // A recent entry whose file has gone: nothing shown, nothing moved, but
    // it is the current copy-set file from now on.
    const std::string gone = dir / "gone/set.vstl";
    writeFile(gone, "cmbSrc\t/x\r\n");
    window->openCopySet(QString::fromStdString(gone));
    ASSERT_TRUE(control<QAction>("mnuFileSave")->isEnabled());
    std::remove(gone.c_str());
    rmdir((dir / "gone").c_str());
    control<QComboBox>("cmbSrc")->setEditText(QStringLiteral("/kept"));
    control<QAction>("mnuFileMRU", 0)->trigger();
    EXPECT_EQ(control<QComboBox>("cmbSrc")->currentText(), QStringLiteral("/kept"));
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(control<QAction>("mnuFileSave")->isEnabled());

    // Overwriting into a folder that has gone says so, with the stop icon.
    control<QAction>("mnuFileSave")->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
        QStringLiteral("現在の設定を ") + QString::fromStdString(gone) + QStringLiteral("に保存できませんでした。"));
    EXPECT_EQ(flagsShown[0], MB_ICONERROR);
}

TEST_F(CopySet, ACopySetGivesTheSameJobReadDirectlyAsThroughTheWindow)
{
    const std::string blanksAndCase = "cmbSrc\t /a b \r\nCMBDST\t/写真\r\nchkSubDir\t0\r\nchkign\t0.6\r\n"
                                      "editIgn\t1.5e3x\r\nchkMakeDir\t-1\r\nchkFilter\tx\r\nlbFilterKind\t採用\r\n"
                                      "lbFilter\tjpg  png\r\nreg\tGradation\t7\r\nreg\tLabelColor\t255\r\n";
    const struct {
        const char* name;
        std::string text;
    } sets[] = {
        { "every value, names in any case", blanksAndCase },
        { "later lines win, unknown kinds exclude",
            "cmbSrc\t/one\r\ncmbSrc\t/two\r\nlbFilterKind\tなに\r\nchkFilter\t1\r\nlbMsg\tstatus\r\n" },
        { "LF line ends, a lone value", "cmbDst\t/x\nchkSubDir\t0\nreg\tBGPicture\t/p.png\n" },
        { "an empty kind clears the filter", "lbFilterKind\t採用\r\nlbFilterKind\t\r\neditIgn\t\r\n" },
        { "nothing that applies", "; comment\r\nreg\tGradation\r\nnoSuchControl\t1\r\n" },
    };
    for (const auto& set : sets) {
        const CopyJob before = window->job();
        ASSERT_TRUE(load(set.text)) << set.name;
        EXPECT_EQ(window->job(), readCopySet(set.text, before)) << set.name;
    }
    // A new window shows a new job.
    EXPECT_EQ(frmBase(*store).job(), CopyJob());
}

TEST_F(CopySet, ARecentFileWithAnAmpersandShowsAndLoadsAsItIs)
{
    const std::string path = dir / "R&D.vstl";
    writeFile(path, "cmbSrc\t/research\r\n");
    window->openCopySet(QString::fromStdString(path));
    EXPECT_EQ(control<QAction>("mnuFileMRU", 0)->text(), QString::fromStdString(dir / "R&&D.vstl"));
    control<QComboBox>("cmbSrc")->setEditText(QString());
    control<QAction>("mnuFileMRU", 0)->trigger();
    EXPECT_EQ(control<QComboBox>("cmbSrc")->currentText(), QStringLiteral("/research"));
    // The File menu now saves to it.
    control<QAction>("mnuFileSave")->trigger();
    EXPECT_EQ(messages.back(),
        QStringLiteral("現在の設定を ") + QString::fromStdString(path) + QStringLiteral("に保存しました。"));
}

TEST_F(CopySet, AFileManagerOpensACopySetInTheWindowWithoutRunningIt)
{
    writeFile(dir / "src/a.txt", "a");
    const std::string path = dir / "photos.vstl";
    writeFile(path, "cmbSrc\t" + dir / "src" + "\ncmbDst\t" + dir / "dst" + "\nchkMakeDir\t1\n");
    delete window.data();
    window = new frmBase(*store);

    window->load({ QString::fromStdString(path) });
    EXPECT_EQ(control<QComboBox>("cmbSrc")->currentText().toStdString(), dir / "src");
    EXPECT_EQ(control<QComboBox>("cmbDst")->currentText().toStdString(), dir / "dst");
    EXPECT_TRUE(control<QCheckBox>("chkMakeDir")->isChecked());
    EXPECT_TRUE(control<QAction>("mnuFileSave")->isEnabled());
    EXPECT_EQ(control<QAction>("mnuFileMRU", 0)->text(), QString::fromStdString(path));
    EXPECT_FALSE(control<QAction>("mnuFileMRU", 1)->isVisible());
    EXPECT_FALSE(testsupport::exists(dir / "dst"));
    EXPECT_TRUE(messages.empty());
}

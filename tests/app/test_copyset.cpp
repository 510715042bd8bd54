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
    // Loads TEXT as a copy-set file.
    bool load(const std::string& text)
    {
        writeFile(dir / "set.vstl", text);
        return window->bLoadCopySet(QString::fromStdString(dir / "set.vstl"));
    }

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
    window->cmbSrc->setEditText(QStringLiteral("C:\\Work"));
    window->cmbDst->setEditText(QStringLiteral("D:\\Backup"));
    window->chkSubDir->setChecked(true);
    window->chkIgn->setChecked(true);
    window->editIgn->setText(QStringLiteral("2"));
    window->chkMakeDir->setChecked(false);
    window->chkFilter->setChecked(true);
    window->lbFilterKind->setText(QStringLiteral("除外"));
    window->lbFilter->setText(QStringLiteral("doc ppt xls"));
    window->nExtFilterKind = 2;
    window->strExtFilter = QStringLiteral("doc ppt xls");
    window->nGradation = -1;
    window->strBGPicture.clear();
    window->nLabelColor = 0;

    ASSERT_TRUE(window->bSaveCopySet(QString::fromStdString(dir / "example.vstl")));
    EXPECT_EQ(readFile(dir / "example.vstl"),
        "cmbSrc\tC:\\Work\r\ncmbDst\tD:\\Backup\r\nchkSubDir\t1\r\nchkIgn\t1\r\neditIgn\t2\r\nchkMakeDir\t0\r\n"
        "chkFilter\t1\r\nlbFilterKind\t除外\r\nlbFilter\tdoc ppt xls\r\nreg\tGradation\t-1\r\nreg\tBGPicture\t\r\n"
        "reg\tLabelColor\t0\r\n");

    // Read back into a window whose every value differs.
    window->cmbSrc->setEditText(QString());
    window->chkSubDir->setChecked(false);
    window->lbFilterKind->clear();
    window->lbFilter->clear();
    window->nGradation = 5;
    window->nExtFilterKind = 0;
    ASSERT_TRUE(window->bLoadCopySet(QString::fromStdString(dir / "example.vstl")));
    EXPECT_EQ(window->cmbSrc->currentText(), QStringLiteral("C:\\Work"));
    EXPECT_TRUE(window->chkSubDir->isChecked());
    EXPECT_TRUE(window->mnuOptSubDir->isChecked());
    EXPECT_EQ(window->lbFilterKind->text(), QStringLiteral("除外"));
    EXPECT_EQ(window->nExtFilterKind, 2);
    EXPECT_EQ(window->strExtFilter, QStringLiteral("doc ppt xls"));
    EXPECT_EQ(window->nGradation, -1);
}

TEST_F(CopySet, RoundTripsEveryValue)
{
    window->cmbSrc->setEditText(QStringLiteral("/home/花子/写真"));
    window->cmbDst->setEditText(QStringLiteral("/media/usb stick/写真"));
    window->chkSubDir->setChecked(false);
    window->chkIgn->setChecked(true);
    window->editIgn->setText(QStringLiteral(" 2.5x"));
    window->chkMakeDir->setChecked(true);
    window->chkFilter->setChecked(false);
    window->lbFilterKind->setText(QStringLiteral("採用"));
    window->lbFilter->setText(QStringLiteral("jpg png"));
    window->nExtFilterKind = 1;
    window->strExtFilter = QStringLiteral("jpg png");
    window->nGradation = 100;
    window->strBGPicture = dir.path().c_str() + QStringLiteral("/空.png");
    window->nLabelColor = 0x00FF8000;
    ASSERT_TRUE(window->bSaveCopySet(QString::fromStdString(dir / "set.vstl")));

    frmBase other(*store);
    other.load();
    ASSERT_TRUE(other.bLoadCopySet(QString::fromStdString(dir / "set.vstl")));
    EXPECT_EQ(other.cmbSrc->currentText(), window->cmbSrc->currentText());
    EXPECT_EQ(other.cmbDst->currentText(), window->cmbDst->currentText());
    EXPECT_FALSE(other.chkSubDir->isChecked());
    EXPECT_TRUE(other.chkIgn->isChecked());
    EXPECT_EQ(other.editIgn->text(), QStringLiteral(" 2.5x"));
    EXPECT_TRUE(other.chkMakeDir->isChecked());
    EXPECT_FALSE(other.chkFilter->isChecked());
    EXPECT_EQ(other.lbFilterKind->text(), QStringLiteral("採用"));
    EXPECT_EQ(other.nExtFilterKind, 1);
    EXPECT_EQ(other.lbFilter->text(), QStringLiteral("jpg png"));
    EXPECT_EQ(other.nGradation, 100);
    EXPECT_EQ(other.strBGPicture, window->strBGPicture);
    EXPECT_EQ(other.nLabelColor, 0x00FF8000);
    // The own picture does not exist: applying it says why.
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(CopySet, ReadsAShiftJisFileFromWindows)
{
    // "lbFilterKind TAB 除外" in code page 932, the way Windows wrote it.
    ASSERT_TRUE(load("lbFilterKind\t\x8F\x9C\x8A\x4F\r\nlbFilter\tdoc\r\n"));
    EXPECT_EQ(window->lbFilterKind->text(), QStringLiteral("除外"));
    EXPECT_EQ(window->nExtFilterKind, 2);
    EXPECT_EQ(window->strExtFilter, QStringLiteral("doc"));
}

TEST_F(CopySet, AppliesLinesAsTheReaderDefinesThem)
{
    window->cmbSrc->setEditText(QStringLiteral("/old"));
    window->lbCountNum->setText(QStringLiteral("7"));
    window->chkIgn->setChecked(true);
    window->nGradation = 3;
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
    EXPECT_EQ(window->cmbSrc->currentText(), QString());
    // A new source text goes through the combo box's own change handling.
    EXPECT_EQ(window->lbCountNum->text(), QStringLiteral("0"));
    EXPECT_TRUE(window->chkSubDir->isChecked());
    EXPECT_TRUE(window->chkMakeDir->isChecked());
    EXPECT_FALSE(window->chkIgn->isChecked());
    EXPECT_FALSE(window->mnuOptIgn->isChecked());
    EXPECT_EQ(window->nGradation, 3);
    EXPECT_EQ(window->nLabelColor, 0);
    EXPECT_EQ(window->lbOption->text(), QStringLiteral("other caption"));
    EXPECT_EQ(window->btnStart->text(), QStringLiteral("コピー開始"));
    EXPECT_EQ(window->cmbDst->currentText(), QStringLiteral("/second\nstill the same line"));

    EXPECT_TRUE(window->bApplyCopySetLine({ "'", "x" }));
    EXPECT_TRUE(window->bApplyCopySetLine({ "reg", "Other", "1" }));
    EXPECT_FALSE(window->bApplyCopySetLine({ "reg", "Gradation" }));
    EXPECT_FALSE(window->bApplyCopySetLine({ "Timer1", "1" }));
    EXPECT_FALSE(window->bApplyCopySetLine({ "nosuchcontrol", "1" }));
    EXPECT_TRUE(window->bApplyCopySetLine({ "reg", "Gradation", "not a number" }));
    EXPECT_EQ(window->nGradation, 0);
}

TEST_F(CopySet, TellsTheFilterKindByItsCaption)
{
    ASSERT_TRUE(load("lbFilterKind\tsomething else\r\n"));
    EXPECT_EQ(window->nExtFilterKind, 2);
    ASSERT_TRUE(load("lbFilterKind\t採用\r\n"));
    EXPECT_EQ(window->nExtFilterKind, 1);
    ASSERT_TRUE(load("lbFilterKind\t\r\n"));
    EXPECT_EQ(window->nExtFilterKind, 0);
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
    EXPECT_NE(window->cmbSrc->currentText(), QStringLiteral("/big"));
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
    EXPECT_FALSE(window->mnuFileSave->isEnabled());

    // Save As with a name typed without extension: the selected type adds it.
    window->cmbSrc->setEditText(QStringLiteral("/photos"));
    chooseInDialog("nightly");
    window->mnuFileSaveAs->trigger();
    const QString saved = QString::fromStdString(dir / "nightly.vstl");
    EXPECT_EQ(window->strSetFile, saved);
    EXPECT_EQ(readFile(dir / "nightly.vstl").substr(0, 18), "cmbSrc\t/photos\r\ncm");
    EXPECT_TRUE(window->mnuFileSave->isEnabled());
    EXPECT_EQ(window->mnuFileMRU[0]->text(), saved);
    EXPECT_TRUE(window->mnuFileMRU[0]->isVisible());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("現在の設定を ") + saved + QStringLiteral("に保存しました。"));
    EXPECT_EQ(flagsShown[0], MB_OK);
    EXPECT_FALSE(windowEnabledDuringDialog);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(QDir::currentPath(), before);

    // Overwrite keeps the file and the recent list's order.
    window->cmbSrc->setEditText(QStringLiteral("/photos/2026"));
    window->mnuFileSave->trigger();
    EXPECT_EQ(readFile(dir / "nightly.vstl").substr(0, 21), "cmbSrc\t/photos/2026\r\n");
    EXPECT_EQ(messages.back(), QStringLiteral("現在の設定を ") + saved + QStringLiteral("に保存しました。"));

    // Open another set, then the first one again from the recent list.
    writeFile(dir / "other.vstl", "cmbSrc\t/music\r\n");
    chooseInDialog("other.vstl");
    window->mnuFileOpen->trigger();
    EXPECT_EQ(window->cmbSrc->currentText(), QStringLiteral("/music"));
    EXPECT_EQ(window->mnuFileMRU[0]->text(), QString::fromStdString(dir / "other.vstl"));
    EXPECT_EQ(window->mnuFileMRU[1]->text(), saved);
    window->mnuFileMRU[1]->trigger();
    EXPECT_EQ(window->cmbSrc->currentText(), QStringLiteral("/photos/2026"));
    EXPECT_EQ(window->mnuFileMRU[0]->text(), saved);
    EXPECT_EQ(QDir::currentPath(), before);
    EXPECT_EQ(dialogsShown,
        (std::vector<QString> { QStringLiteral("CommonDialogSave"), QStringLiteral("CommonDialogOpen") }));
}

TEST_F(CopySet, FileMenuFailuresLeaveTheWindowAsItWas)
{
    const QString before = QDir::currentPath();
    chooseInDialog(std::nullopt);
    window->mnuFileOpen->trigger();
    window->mnuFileSaveAs->trigger();
    EXPECT_TRUE(window->strSetFile.isEmpty());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(QDir::currentPath(), before);

    // A recent entry whose file has gone: nothing shown, nothing moved, but
    // it is the current copy-set file from now on.
    writeFile(dir / "gone.vstl", "cmbSrc\t/x\r\n");
    chooseInDialog("gone.vstl");
    window->mnuFileOpen->trigger();
    ASSERT_TRUE(window->mnuFileSave->isEnabled());
    std::remove((dir / "gone.vstl").c_str());
    window->cmbSrc->setEditText(QStringLiteral("/kept"));
    window->mnuFileMRU[0]->trigger();
    EXPECT_EQ(window->cmbSrc->currentText(), QStringLiteral("/kept"));
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(window->mnuFileSave->isEnabled());

    // Overwriting into a folder that has gone says so, with the stop icon.
    window->strSetFile = QString::fromStdString(dir / "no/such/folder/set.vstl");
    window->mnuFileSave->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(
        messages[0], QStringLiteral("現在の設定を ") + window->strSetFile + QStringLiteral("に保存できませんでした。"));
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
    window->histories->bAddMRU(QString::fromStdString(path));
    EXPECT_EQ(window->mnuFileMRU[0]->text(), QString::fromStdString(dir / "R&&D.vstl"));
    window->mnuFileMRU[0]->trigger();
    EXPECT_EQ(window->strSetFile, QString::fromStdString(path));
    EXPECT_EQ(window->cmbSrc->currentText(), QStringLiteral("/research"));
}

TEST_F(CopySet, AFileManagerOpensACopySetInTheWindowWithoutRunningIt)
{
    writeFile(dir / "src/a.txt", "a");
    const std::string path = dir / "photos.vstl";
    writeFile(path, "cmbSrc\t" + dir / "src" + "\ncmbDst\t" + dir / "dst" + "\nchkMakeDir\t1\n");
    delete window.data();
    window = new frmBase(*store);

    window->load({ QString::fromStdString(path) });
    EXPECT_EQ(window->cmbSrc->currentText().toStdString(), dir / "src");
    EXPECT_EQ(window->cmbDst->currentText().toStdString(), dir / "dst");
    EXPECT_TRUE(window->chkMakeDir->isChecked());
    EXPECT_TRUE(window->mnuFileSave->isEnabled());
    EXPECT_EQ(window->histories->mru(), QStringList { QString::fromStdString(path) });
    EXPECT_FALSE(testsupport::exists(dir / "dst"));
    EXPECT_TRUE(messages.empty());
}

// One user's session from start to end: the program's window with the real
// helper library, every question answered as a person would, then the copy
// set saved in it run by the program itself in batch mode.
#include "app/copiedlist.h"
#include "app/frmbase.h"
#include "app/frmerr.h"
#include "app/frmest.h"
#include "app/textlabel.h"
#include "settings/store/store.h"
#include "tests/app/windowtest.h"
#include "tests/support/duringcopy.h"
#include "tests/support/testsupport.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QPointer>
#include <QPushButton>
#include <atomic>
#include <gtest/gtest.h>

using testsupport::exists;
using testsupport::namesIn;
using testsupport::readFile;
using testsupport::writeFile;

using testsupport::finishRun;

namespace {

class Session : public ::testing::Test {
protected:
    void SetUp() override
    {
        setMessageBoxAnswerer([this](const QString& text, int flags, const QString&) {
            messages.push_back(text);
            return (flags & MB_YESNO) ? IDYES : IDOK;
        });
        setDialogAnswerer([this](QDialog& shown) {
            dialogs.push_back(shown.objectName());
            if (auto* error = qobject_cast<frmErr*>(&shown)) {
                error->btnNextAll->click();
            } else if (auto* files = qobject_cast<QFileDialog*>(&shown)) {
                files->setDirectory(QString::fromStdString(dir.path()));
                files->selectFile(QStringLiteral("photos"));
                shown.accept();
            } else {
                shown.reject();
            }
        });
    }
    void TearDown() override
    {
        setDialogAnswerer(nullptr);
        setMessageBoxAnswerer(nullptr);
    }

    testsupport::TempDir dir;
    std::string src = dir / "写真";
    std::string dst = dir / "usb/写真";
    std::vector<QString> messages;
    std::vector<QString> dialogs;
};

} // namespace

TEST_F(Session, CopyStopEstimateErrorsCopySetAndANightlyRun)
{
    SettingsStore store(QString::fromStdString(dir / "settings.ini"));
    QPointer<frmBase> window = new frmBase(store);
    window->load();
    window->show();
    auto* start = findControl<QPushButton>(*window, "btnStart");
    findControl<QComboBox>(*window, "cmbSrc")->setEditText(QString::fromStdString(src));
    findControl<QComboBox>(*window, "cmbDst")->setEditText(QString::fromStdString(dst));

    // A first copy of three albums.
    for (const char* name : { "/2023/a.jpg", "/2024/b.jpg", "/2024/c.jpg" })
        writeFile(src + name, name, 1700000000);
    start->click();
    finishRun(window);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.back(), QStringLiteral("コピーが終了しました。検査ファイル数： 3 コピーした数： 3"));
    EXPECT_EQ(readFile(dst + "/2024/c.jpg"), "/2024/c.jpg");

    // New pictures; the user stops the run during the first of them.
    for (const char* name : { "/2025/d.jpg", "/2025/e.jpg", "/2025/f.jpg" })
        writeFile(src + name, name, 1700000100);
    testsupport::actDuringFirstCopy(*window, [&] { findControl<QPushButton>(*window, "btnStop")->click(); });
    start->click();
    finishRun(window);
    window->beforeThreadedCopy = nullptr;
    // How many were checked before depends on the order the folders list in.
    EXPECT_TRUE(messages.back().startsWith(QStringLiteral("コピーを中断しました。検査ファイル数： ")));
    EXPECT_TRUE(messages.back().endsWith(QStringLiteral(" コピーした数： 1")));
    EXPECT_EQ(namesIn(dst + "/2025").size(), 1u);

    // The estimate of what is left: two files, nothing written.
    findControl<QPushButton>(*window, "btnEst")->click();
    finishRun(window);
    QPointer<frmEst> estimate = openEstimateWindow();
    ASSERT_TRUE(estimate);
    EXPECT_TRUE(estimate->bFinished);
    EXPECT_EQ(findControl<CopiedListView>(*window, "lstCopied")->lines().count(), 2);
    EXPECT_NE(estimate->lbNeed->text(), QStringLiteral("0"));
    EXPECT_EQ(namesIn(dst + "/2025").size(), 1u);
    estimate->btnEnd->click();
    EXPECT_FALSE(estimate && estimate->isVisible());

    // Two pictures on the stick were made read-only: one question, skip all.
    writeFile(src + "/2023/a.jpg", "retouched a", 1700000200);
    writeFile(src + "/2024/b.jpg", "retouched b", 1700000200);
    chmod((dst + "/2023/a.jpg").c_str(), 0444);
    chmod((dst + "/2024/b.jpg").c_str(), 0444);
    const size_t shownBefore = dialogs.size();
    start->click();
    finishRun(window);
    EXPECT_EQ(dialogs.size(), shownBefore + 1);
    EXPECT_EQ(messages.back(), QStringLiteral("コピーが終了しました。検査ファイル数： 6 コピーした数： 2"));
    EXPECT_EQ(readFile(dst + "/2024/b.jpg"), "/2024/b.jpg");
    EXPECT_EQ(namesIn(dst + "/2025").size(), 3u);

    // The job saved as a copy set, and read back into a window of its own.
    findControl<QAction>(*window, "mnuFileSaveAs")->trigger();
    const std::string copySet = dir / "photos.vstl";
    ASSERT_TRUE(exists(copySet));
    EXPECT_EQ(messages.back(),
        QStringLiteral("現在の設定を ") + QString::fromStdString(copySet) + QStringLiteral("に保存しました。"));
    delete window.data();

    frmBase reopened(store);
    reopened.load();
    findControl<QAction>(reopened, "mnuFileOpen")->trigger();
    EXPECT_EQ(findControl<QComboBox>(reopened, "cmbSrc")->currentText(), QString::fromStdString(src));
    EXPECT_EQ(findControl<QComboBox>(reopened, "cmbDst")->currentText(), QString::fromStdString(dst));
    EXPECT_EQ(findControl<QComboBox>(reopened, "cmbSrc")->itemText(0), QString::fromStdString(src));

    // That night the program runs the copy set on its own.
    writeFile(src + "/2026/g.jpg", "g", 1700000300);
    chmod((dst + "/2024/b.jpg").c_str(), 0644);
    const std::string config = dir / "config";
    EXPECT_EQ(
        testsupport::runProgram(VESTRELLE_PROGRAM, { "-f", copySet, "-l", dir / "night.log" }, dir.path(), config), 1);
    EXPECT_EQ(readFile(dst + "/2026/g.jpg"), "g");
    EXPECT_EQ(readFile(dst + "/2024/b.jpg"), "retouched b");
    EXPECT_EQ(readFile(dst + "/2023/a.jpg"), "/2023/a.jpg");
    const std::string log = readFile(dir / "night.log");
    EXPECT_NE(log.find("/2023/a.jpg でエラーが発生。Permission denied\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("コピーが終了しました。検査ファイル数： 7 コピーした数： 2\r\n"), std::string::npos) << log;
    // The program's own settings now know the folders.
    SettingsStore programSettings(QString::fromStdString(config + "/Quorvane/Vestrelle.conf"));
    ASSERT_TRUE(programSettings.open());
    EXPECT_TRUE(programSettings.read(QStringLiteral("SrcList"))
                    .value_or(QString())
                    .endsWith(QString::fromStdString("\t" + src)));
    programSettings.close();
}

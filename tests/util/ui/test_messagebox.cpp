#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

// Clears both answerers when a test ends, however it ends.
struct AnswererReset {
    ~AnswererReset()
    {
        setMessageBoxAnswerer(nullptr);
        setDialogAnswerer(nullptr);
    }
};

Qt::CursorShape currentPointer()
{
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor ? cursor->shape() : Qt::BitmapCursor;
}

} // namespace

TEST(MessageBox, AnswererGetsTheBoxAndItsReplyIsReturned)
{
    AnswererReset reset;
    QString seenText, seenTitle;
    int seenFlags = -1;
    setMessageBoxAnswerer([&](const QString& text, int flags, const QString& title) {
        seenText = text;
        seenFlags = flags;
        seenTitle = title;
        return IDNO;
    });

    EXPECT_EQ(nMessageBox(
                  QStringLiteral("終了しますか"), MB_YESNO | MB_ICONINFORMATION, QStringLiteral("更新ファイルコピー")),
        IDNO);
    EXPECT_EQ(seenText, QStringLiteral("終了しますか"));
    EXPECT_EQ(seenFlags, 68);
    EXPECT_EQ(seenTitle, QStringLiteral("更新ファイルコピー"));

    // Defaults: OK only, no title.
    nMessageBox(QStringLiteral("x"));
    EXPECT_EQ(seenFlags, MB_OK);
    EXPECT_TRUE(seenTitle.isEmpty());
}

TEST(MessageBox, PointerIsTheArrowWhileUpAndTheBusyPointerReturns)
{
    AnswererReset reset;
    Qt::CursorShape whileUp = Qt::BitmapCursor;
    setMessageBoxAnswerer([&](const QString&, int, const QString&) {
        whileUp = currentPointer();
        return IDOK;
    });

    QApplication::setOverrideCursor(Qt::WaitCursor);
    nMessageBox(QStringLiteral("コピーが終了しました。"));
    EXPECT_EQ(whileUp, Qt::ArrowCursor);
    EXPECT_EQ(currentPointer(), Qt::WaitCursor);
    QApplication::restoreOverrideCursor();

    // Without a busy pointer nothing is left behind.
    nMessageBox(QStringLiteral("x"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MessageBox, WithoutAScreenTheTextGoesToStandardErrorInsteadOfWaiting)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    testing::internal::CaptureStderr();
    const int okReply
        = nMessageBox(QStringLiteral("指定ログファイル /x が開けません。"), MB_OK, QStringLiteral("Vestrelle"));
    const int yesNoReply = nMessageBox(QStringLiteral("見積を中断しますか"), MB_YESNO, QString());
    const std::string written = testing::internal::GetCapturedStderr();

    EXPECT_EQ(okReply, IDOK);
    EXPECT_EQ(yesNoReply, IDNO);
    EXPECT_NE(written.find("Vestrelle: 指定ログファイル /x が開けません。"), std::string::npos);
    EXPECT_NE(written.find("見積を中断しますか"), std::string::npos);
}

TEST(ExecDialog, AnswererAnswersTheDialogAsAPersonWould)
{
    AnswererReset reset;
    QDialog dialog;
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);

    QDialog* answered = nullptr;
    setDialogAnswerer([&](QDialog& shown) {
        answered = &shown;
        EXPECT_FALSE(shown.isVisible());
        ok->click();
    });
    EXPECT_EQ(execDialog(dialog), QDialog::Accepted);
    EXPECT_EQ(answered, &dialog);

    // An answerer that makes no choice leaves the dialog rejected, not with
    // the result of the time before.
    setDialogAnswerer([](QDialog&) {});
    EXPECT_EQ(execDialog(dialog), QDialog::Rejected);
}

#include "app/frmerr.h"
#include "util/ui/dialogs.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <tuple>

namespace {

// Puts back the real version reader and clears the dialog answerer when a test ends.
struct SeamReset {
    ~SeamReset()
    {
        frmErr::setVersionReader(nullptr);
        setDialogAnswerer(nullptr);
    }
};

void useVersion(int major)
{
    frmErr::setVersionReader([major] { return major; });
}

bool hintShown(const frmErr& dialog)
{
    return dialog.lbVista->isVisibleTo(&dialog);
}

void type(QWidget* box, int key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(box, &press);
    QCoreApplication::sendEvent(box, &release);
}

} // namespace

TEST(ErrorDialog, EachButtonAnswersItsReplyCode)
{
    SeamReset reset;
    const std::tuple<QPushButton * frmErr::*, int, ErrorReply> buttons[] = {
        { &frmErr::btnStop, 1, ErrorReply::Stop },
        { &frmErr::btnRetry, 2, ErrorReply::Retry },
        { &frmErr::btnNext, 3, ErrorReply::Skip },
        { &frmErr::btnNextAll, 4, ErrorReply::SkipAll },
    };
    for (const auto& [button, code, reply] : buttons) {
        frmErr dialog;
        dialog.SetError(
            QStringLiteral("/src/a.txt"), QStringLiteral("/dst/a.txt"), QStringLiteral("Permission denied"));
        EXPECT_TRUE(dialog.lbRet->text().isEmpty());
        setDialogAnswerer([button = button](QDialog& shown) { (static_cast<frmErr&>(shown).*button)->click(); });

        EXPECT_EQ(execDialog(dialog), QDialog::Accepted);
        EXPECT_EQ(dialog.lbRet->text(), QString::number(code));
        EXPECT_EQ(dialog.reply(), reply);
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST(ErrorDialog, ClosingWithoutAChoiceStopsTheRun)
{
    {
        frmErr dialog;
        dialog.show();
        dialog.close();
        EXPECT_EQ(dialog.lbRet->text(), QStringLiteral("1"));
        EXPECT_EQ(dialog.reply(), ErrorReply::Stop);
    }
    {
        frmErr dialog;
        dialog.show();
        type(&dialog, Qt::Key_Escape, Qt::NoModifier, QString());
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.reply(), ErrorReply::Stop);
    }
    {
        // Never answered at all.
        frmErr dialog;
        EXPECT_EQ(dialog.reply(), ErrorReply::Stop);
    }
    {
        // Unloading after a choice does not overwrite it.
        frmErr dialog;
        dialog.show();
        dialog.btnNext->click();
        dialog.close();
        dialog.reject();
        EXPECT_EQ(dialog.reply(), ErrorReply::Skip);
    }
}

TEST(ErrorDialog, TypingIntoTheBoxesChangesNothing)
{
    frmErr dialog;
    const QString src = QStringLiteral("/home/user/データ/a.txt");
    const QString dst = QStringLiteral("/mnt/backup/データ/a.txt");
    const QString desc = QStringLiteral("Permission denied");
    dialog.SetError(src, dst, desc);
    dialog.show();

    for (QWidget* box : std::initializer_list<QWidget*> { dialog.editsrc, dialog.editDst, dialog.editDesc }) {
        box->setFocus();
        type(box, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        type(box, Qt::Key_Backspace, Qt::NoModifier, QString());
        type(box, Qt::Key_A, Qt::ControlModifier, QString());
        type(box, Qt::Key_X, Qt::ControlModifier, QString());
    }
    EXPECT_EQ(dialog.editsrc->text(), src);
    EXPECT_EQ(dialog.editDst->text(), dst);
    EXPECT_EQ(dialog.editDesc->toPlainText(), desc);
    // Typing is no answer.
    EXPECT_TRUE(dialog.lbRet->text().isEmpty());
    EXPECT_TRUE(dialog.isVisible());
}

TEST(ErrorDialog, AccessRightsHintNeedsTheFolderNameAndVersionSixOrUnknown)
{
    SeamReset reset;
    const QString inFolder = QStringLiteral("/mnt/c/Documents and Settings/user/a.txt");
    const QString lowerCase = QStringLiteral("/mnt/c/documents and settings/user/a.txt");
    const QString elsewhere = QStringLiteral("/data/a.txt");
    struct Case {
        int version;
        QString src, dst;
        bool shown;
    };
    const Case cases[] = {
        { 6, elsewhere, inFolder, true },
        { 6, inFolder, elsewhere, true },
        { 0, elsewhere, inFolder, true }, // the version could not be read
        { 6, elsewhere, lowerCase, false },
        { 6, elsewhere, elsewhere, false },
        { 5, inFolder, inFolder, false },
    };
    for (const Case& c : cases) {
        useVersion(c.version);
        frmErr dialog;
        EXPECT_FALSE(hintShown(dialog));
        dialog.SetError(c.src, c.dst, QStringLiteral("x"));
        EXPECT_EQ(hintShown(dialog), c.shown)
            << c.version << " " << c.src.toStdString() << " -> " << c.dst.toStdString();
    }
}

TEST(ErrorDialog, ShowsEveryTextAndOpensOnStop)
{
    frmErr dialog;
    dialog.SetError(QStringLiteral("/s"), QStringLiteral("/d"), QStringLiteral("e"));
    dialog.show();
    QCoreApplication::processEvents();

    EXPECT_EQ(dialog.objectName(), QStringLiteral("frmErr"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("エラー発生"));
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.focusWidget(), dialog.btnStop);

    QStringList labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        labels << label->text();
    for (const QString& text :
        {
            QStringLiteral("以下のエラーが発生しました。"),
            QStringLiteral("コピー元"),
            QStringLiteral("コピー先"),
            QStringLiteral("エラー内容"),
            QStringLiteral("・Vista で、Documents and Settings フォルダのアクセス権を設定しないで使用していませんか？"),
            QStringLiteral("・コピー元が、Temporary Internet Files　等にある一時ファイルではありませんか？"),
            QStringLiteral("・コピー先のファイル（主に、拡張子が.EXE のもの）が実行中ではありませんか？"),
            QStringLiteral("・コピー先は書込可能ですか？（ネットワークフォルダでは、共有設定を確認して下さい。）"),
            QStringLiteral("・ファイル名に半角英数の、\" ? / * : < | > \\ 等の文字が含まれていませんか？"),
        })
        EXPECT_TRUE(labels.contains(text)) << text.toStdString();
    const QList<QGroupBox*> frames = dialog.findChildren<QGroupBox*>();
    ASSERT_EQ(frames.size(), 1);
    EXPECT_EQ(frames.front()->title(), QStringLiteral("☆ 確認して下さい"));

    // Left to right, each caption in full.
    const QPushButton* buttons[] = { dialog.btnStop, dialog.btnRetry, dialog.btnNext, dialog.btnNextAll };
    const char* captions[] = { "処理中止", "処理リトライ", "スキップして継続", "以後全てスキップ" };
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(buttons[i]->text(), QString::fromUtf8(captions[i]));
        EXPECT_GE(buttons[i]->width(), buttons[i]->sizeHint().width());
        if (i > 0) {
            EXPECT_GT(buttons[i]->x(), buttons[i - 1]->x());
        }
    }
    EXPECT_TRUE(dialog.lbRet->isHidden());
}

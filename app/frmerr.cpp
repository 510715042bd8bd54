#include "frmerr.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdlib>
#include <sys/utsname.h>
#include <utility>

namespace {

// The kernel's major version ("6" of "6.1.0-13-amd64"); 0 when it cannot be read.
int kernelMajorVersion()
{
    struct utsname names;
    if (uname(&names) != 0)
        return 0;
    char* end = nullptr;
    const long major = std::strtol(names.release, &end, 10);
    return end != names.release && major > 0 && major < 100000 ? static_cast<int>(major) : 0;
}

frmErr::VersionReader& versionReader()
{
    static frmErr::VersionReader reader;
    return reader;
}

int majorVersion()
{
    const frmErr::VersionReader reader = versionReader();
    return reader ? reader() : kernelMajorVersion();
}

QLabel* hintLine(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QLineEdit* pathBox(const char* name, QWidget* parent)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    // Read-only still lets the user scroll, select and copy the path.
    box->setReadOnly(true);
    return box;
}

} // namespace

frmErr::frmErr(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmErr"));
    setWindowTitle(QStringLiteral("エラー発生"));
    setModal(true);
    setMinimumWidth(560);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("以下のエラーが発生しました。"), this));

    editsrc = pathBox("editsrc", this);
    editDst = pathBox("editDst", this);
    editDesc = new QPlainTextEdit(this);
    editDesc->setObjectName(QStringLiteral("editDesc"));
    editDesc->setReadOnly(true);
    // Read-only boxes are selectable by mouse only; keyboard users may want to
    // select and copy the error text too.
    editDesc->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    editDesc->setTabChangesFocus(true);
    // Four lines at least; a taller dialog gives the room to the error text.
    editDesc->setMinimumHeight(editDesc->fontMetrics().lineSpacing() * 4 + 12);

    auto* boxes = new QGridLayout;
    auto* srcCaption = new QLabel(QStringLiteral("コピー元"), this);
    auto* dstCaption = new QLabel(QStringLiteral("コピー先"), this);
    auto* descCaption = new QLabel(QStringLiteral("エラー内容"), this);
    srcCaption->setBuddy(editsrc);
    dstCaption->setBuddy(editDst);
    descCaption->setBuddy(editDesc);
    boxes->addWidget(srcCaption, 0, 0);
    boxes->addWidget(editsrc, 0, 1);
    boxes->addWidget(dstCaption, 1, 0);
    boxes->addWidget(editDst, 1, 1);
    boxes->addWidget(descCaption, 2, 0, Qt::AlignTop);
    boxes->addWidget(editDesc, 2, 1);
    boxes->setColumnStretch(1, 1);
    boxes->setRowStretch(2, 1);
    layout->addLayout(boxes, 1);

    auto* hints = new QGroupBox(QStringLiteral("☆ 確認して下さい"), this);
    auto* hintLayout = new QVBoxLayout(hints);
    lbVista = hintLine(
        QStringLiteral("・Vista で、Documents and Settings フォルダのアクセス権を設定しないで使用していませんか？"),
        hints);
    lbVista->setObjectName(QStringLiteral("lbVista"));
    lbVista->hide();
    hintLayout->addWidget(lbVista);
    hintLayout->addWidget(hintLine(
        QStringLiteral("・コピー元が、Temporary Internet Files　等にある一時ファイルではありませんか？"), hints));
    hintLayout->addWidget(
        hintLine(QStringLiteral("・コピー先のファイル（主に、拡張子が.EXE のもの）が実行中ではありませんか？"), hints));
    hintLayout->addWidget(hintLine(
        QStringLiteral("・コピー先は書込可能ですか？（ネットワークフォルダでは、共有設定を確認して下さい。）"), hints));
    hintLayout->addWidget(hintLine(
        QStringLiteral("・ファイル名に半角英数の、\" ? / * : < | > \\ 等の文字が含まれていませんか？"), hints));
    layout->addWidget(hints);

    auto* buttons = new QHBoxLayout;
    btnStop = addReplyButton("btnStop", QStringLiteral("処理中止"), ErrorReply::Stop);
    btnRetry = addReplyButton("btnRetry", QStringLiteral("処理リトライ"), ErrorReply::Retry);
    btnNext = addReplyButton("btnNext", QStringLiteral("スキップして継続"), ErrorReply::Skip);
    btnNextAll = addReplyButton("btnNextAll", QStringLiteral("以後全てスキップ"), ErrorReply::SkipAll);
    for (QPushButton* button : { btnStop, btnRetry, btnNext, btnNextAll })
        buttons->addWidget(button);
    layout->addLayout(buttons);

    lbRet = new QLabel(this);
    lbRet->setObjectName(QStringLiteral("lbRet"));
    lbRet->hide();

    // The buttons come first in the tab order, and the dialog opens on Stop.
    setTabOrder(btnStop, btnRetry);
    setTabOrder(btnRetry, btnNext);
    setTabOrder(btnNext, btnNextAll);
    setTabOrder(btnNextAll, editsrc);
    setTabOrder(editsrc, editDst);
    setTabOrder(editDst, editDesc);
    btnStop->setDefault(true);
    btnStop->setFocus();

    // The wrapped hint lines make the height depend on the width; open at the
    // height the chosen width needs, with no blank space.
    const int width = minimumWidth();
    resize(width, layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : sizeHint().height());
}

QPushButton* frmErr::addReplyButton(const char* name, const QString& caption, ErrorReply reply)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QLatin1String(name));
    connect(button, &QPushButton::clicked, this, [this, reply] {
        lbRet->setText(QString::number(static_cast<int>(reply)));
        accept();
    });
    return button;
}

void frmErr::SetError(const QString& strSrc, const QString& strDst, const QString& strDesc)
{
    editsrc->setText(strSrc);
    editDst->setText(strDst);
    // Long paths show from their beginning, as the box shows them when opened.
    editsrc->setCursorPosition(0);
    editDst->setCursorPosition(0);
    editDesc->setPlainText(strDesc);

    const QString folder = QStringLiteral("Documents and Settings");
    const bool namesFolder = strSrc.contains(folder, Qt::CaseSensitive) || strDst.contains(folder, Qt::CaseSensitive);
    bool showHint = false;
    if (namesFolder) {
        const int major = majorVersion();
        showHint = major >= 6 || major == 0;
    }
    lbVista->setVisible(showHint);
}

ErrorReply frmErr::reply() const
{
    bool ok = false;
    const int code = lbRet->text().toInt(&ok);
    const bool known
        = ok && code >= static_cast<int>(ErrorReply::Stop) && code <= static_cast<int>(ErrorReply::SkipAll);
    return known ? static_cast<ErrorReply>(code) : ErrorReply::Stop;
}

void frmErr::setVersionReader(VersionReader reader)
{
    versionReader() = std::move(reader);
}

void frmErr::reject()
{
    if (lbRet->text().isEmpty())
        lbRet->setText(QString::number(static_cast<int>(ErrorReply::Stop)));
    QDialog::reject();
}

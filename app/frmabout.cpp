#include "frmabout.h"

#include "appearance/icons.h"
#include "run/commandline.h"
#include "util/ui/browse.h"
#include "util/ui/dialogs.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>
#include <utility>

#ifndef VESTRELLE_VERSION
#error "VESTRELLE_VERSION (the project's version) must be defined by the build"
#endif

const QString frmAbout::kTitle = QStringLiteral("Vestrelle");
const QString frmAbout::kCompany = QStringLiteral("Quorvane");
const QString frmAbout::kSupportMail = QStringLiteral("support@quorvane.example");

namespace {

frmAbout::ShellOpener& shellOpener()
{
    static frmAbout::ShellOpener opener;
    return opener;
}

QLabel* textLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QFrame* separator(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(kTitle + QStringLiteral("のﾊﾞｰｼﾞｮﾝ情報"));
    setModal(true);

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(programIcon(48));
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    lblTitle = textLabel(this, "lblTitle", kTitle);
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    lblTitle->setFont(titleFont);
    lblVersion = textLabel(this, "lblVersion", QStringLiteral("ﾊﾞｰｼﾞｮﾝ ") + versionText());
    lblDescription = textLabel(this, "lblDescription", QStringLiteral("更新ファイルコピーユーティリティ"));

    Label2 = textLabel(this, "Label2", QStringLiteral("起動パラメータオプション"));
    Label3 = textLabel(this, "Label3", QStringLiteral("-f　設定ファイル名"));
    Label4 = textLabel(
        this, "Label4", QStringLiteral("-l　ログファイル名（-f 指定がある場合のみ。省略時は、Vestrelle.log）"));
    Label5 = textLabel(this, "Label5", QStringLiteral("例）　") + kCommandLineExample);

    Label1 = textLabel(this, "Label1", QStringLiteral("サポート先"));
    lbMailTo = textLabel(this, "lbMailTo", kSupportMail);
    // Shown as a link, and reachable from the keyboard like one.
    QFont linkFont = lbMailTo->font();
    linkFont.setUnderline(true);
    lbMailTo->setFont(linkFont);
    QPalette linkColours = lbMailTo->palette();
    linkColours.setColor(QPalette::WindowText, linkColours.color(QPalette::Link));
    lbMailTo->setPalette(linkColours);
    lbMailTo->setCursor(Qt::PointingHandCursor);
    lbMailTo->setFocusPolicy(Qt::TabFocus);
    lbMailTo->setToolTip(QStringLiteral("mailto:") + kSupportMail);
    lbMailTo->installEventFilter(this);
    lbCompany = textLabel(this, "lbCompany", kCompany);

    Line1 = { separator(this), separator(this) };
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* heading = new QVBoxLayout;
    heading->addWidget(lblTitle);
    heading->addWidget(lblVersion);
    heading->addWidget(lblDescription);
    auto* top = new QHBoxLayout;
    top->addWidget(picIcon);
    top->addSpacing(12);
    top->addLayout(heading, 1);

    auto* options = new QVBoxLayout;
    options->setContentsMargins(16, 0, 0, 0);
    for (QLabel* line : { Label3, Label4, Label5 })
        options->addWidget(line);

    auto* support = new QGridLayout;
    support->addWidget(Label1, 0, 0);
    support->addWidget(lbMailTo, 0, 1);
    support->addWidget(lbCompany, 1, 1);
    support->setColumnStretch(2, 1);
    support->setHorizontalSpacing(16);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Line1[0]);
    layout->addWidget(Label2);
    layout->addLayout(options);
    layout->addWidget(Line1[1]);
    layout->addLayout(support);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    cmdOK->setFocus();
}

QString frmAbout::versionText()
{
    return versionText(QStringLiteral(VESTRELLE_VERSION));
}

QString frmAbout::versionText(const QString& projectVersion)
{
    const QStringList parts = projectVersion.trimmed().split(QLatin1Char('.'));
    QStringList numbers;
    for (int i = 0; i < 3; ++i)
        numbers << QString::number(i < parts.size() ? parts[i].toUInt() : 0U);
    return numbers.join(QLatin1Char('.'));
}

void frmAbout::setShellOpener(ShellOpener opener)
{
    shellOpener() = std::move(opener);
}

void frmAbout::lbMailTo_Click()
{
    const QString target = QStringLiteral("mailto:") + lbMailTo->text();
    const ShellOpener open = shellOpener();
    if (open)
        open(target);
    else
        OpenWithShell(target);
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lbMailTo) {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && lbMailTo->rect().contains(mouse->position().toPoint())) {
                lbMailTo_Click();
                return true;
            }
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
                lbMailTo_Click();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void showAbout(QWidget* parent)
{
    frmAbout dialog(parent);
    execDialog(dialog);
}

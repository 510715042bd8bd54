#include "messagebox.h"

#include "util/logtext.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <cstdio>
#include <utility>

namespace {

MessageBoxAnswerer& answerer()
{
    static MessageBoxAnswerer instance;
    return instance;
}

// Holds the default arrow over whatever pointer the program shows (a run's
// busy pointer) for as long as a box is up.
class ArrowPointer {
public:
    ArrowPointer() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~ArrowPointer() { QApplication::restoreOverrideCursor(); }
    ArrowPointer(const ArrowPointer&) = delete;
    ArrowPointer& operator=(const ArrowPointer&) = delete;
};

bool isYesNo(int flags)
{
    return (flags & 0x0F) == MB_YESNO;
}

QMessageBox::Icon iconOf(int flags)
{
    switch (flags & 0xF0) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int writeToStandardError(const QString& text, int flags, const QString& title)
{
    const std::string line = unseenMessageLine(title.toStdString(), text.toStdString());
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    // Answered as if the box had been closed without a choice.
    return isYesNo(flags) ? IDNO : IDOK;
}

int showBox(const QString& text, int flags, const QString& title)
{
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    // On the heap and watched: closing every window while the box is up
    // (the program ending) deletes it from under exec().
    QPointer<QMessageBox> box = new QMessageBox(parent);
    box->setWindowTitle(title);
    // Messages carry paths, which may hold "<" and "&"; never read them as markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setIcon(iconOf(flags));
    if (isYesNo(flags)) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        // Escape and the title bar's close button answer No.
        box->setEscapeButton(QMessageBox::No);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }
    box->exec();
    if (!box)
        return isYesNo(flags) ? IDNO : IDOK;
    const QMessageBox::StandardButton chosen = box->standardButton(box->clickedButton());
    delete box;
    if (isYesNo(flags))
        return chosen == QMessageBox::Yes ? IDYES : IDNO;
    return IDOK;
}

} // namespace

int nMessageBox(const QString& text, int flags, const QString& title)
{
    ArrowPointer arrow;
    // A copy, so that an answerer may replace itself while it answers.
    const MessageBoxAnswerer answer = answerer();
    if (answer)
        return answer(text, flags, title);
    if (nobodyCanSee())
        return writeToStandardError(text, flags, title);
    return showBox(text, flags, title);
}

void setMessageBoxAnswerer(MessageBoxAnswerer replacement)
{
    answerer() = std::move(replacement);
}

bool nobodyCanSee()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

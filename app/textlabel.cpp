#include "textlabel.h"

#include <QAccessible>
#include <QPainter>
#include <QTimerEvent>

namespace {

// The shortest time between two announcements of one label.
constexpr int kAnnounceInterval = 1000;

} // namespace

TextLabel::TextLabel(QWidget* parent)
    : QFrame(parent)
{
}

void TextLabel::setText(const QString& text)
{
    if (!source_ && text == text_)
        return;
    source_ = nullptr;
    text_ = text;
    refresh();
}

void TextLabel::setSource(std::function<QString()> source)
{
    source_ = std::move(source);
    refresh();
}

void TextLabel::setAlignment(Qt::Alignment alignment)
{
    alignment_ = alignment;
    update();
}

void TextLabel::refresh()
{
    update();
    announceLater();
}

void TextLabel::announceLater()
{
    if (!announceTimer_.isActive())
        announceTimer_.start(kAnnounceInterval, this);
}

void TextLabel::announceNow()
{
    announceTimer_.stop();
    // Nobody reads a label that is not shown; it is read afresh when it is.
    if (!isVisible())
        return;
    const QString shown = text();
    if (shown == announced_)
        return;
    QAccessibleTextUpdateEvent event(this, 0, announced_, shown);
    announced_ = shown;
    // Costs nothing while no tool listens.
    QAccessible::updateAccessibility(&event);
    emit announced(shown);
}

void TextLabel::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != announceTimer_.timerId()) {
        QFrame::timerEvent(event);
        return;
    }
    announceNow();
}

void TextLabel::showEvent(QShowEvent* event)
{
    // What a tool meeting the label reads now needs no announcement.
    announced_ = text();
    QFrame::showEvent(event);
}

void TextLabel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(contentsRect().adjusted(2, 0, -2, 0), static_cast<int>(alignment_) | Qt::TextSingleLine, text());
}

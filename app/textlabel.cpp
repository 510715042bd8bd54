#include "textlabel.h"

#include <QPainter>

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
    update();
}

void TextLabel::setSource(std::function<QString()> source)
{
    source_ = std::move(source);
    update();
}

void TextLabel::setAlignment(Qt::Alignment alignment)
{
    alignment_ = alignment;
    update();
}

void TextLabel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(contentsRect().adjusted(2, 0, -2, 0), static_cast<int>(alignment_) | Qt::TextSingleLine, text());
}

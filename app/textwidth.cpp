#include "textwidth.h"

#include <QtMath>

TextWidth::TextWidth(const QFont& font)
    : metrics_(font)
    , advances_(0x10000, -1)
{
}

int TextWidth::width(const QString& text)
{
    qreal total = 0;
    for (const QChar c : text) {
        // Characters outside the basic plane come as surrogate pairs, whose
        // halves have no width of their own: such a line is measured whole.
        if (c.isSurrogate())
            return qCeil(metrics_.horizontalAdvance(text));
        qreal& advance = advances_[c.unicode()];
        if (advance < 0)
            advance = metrics_.horizontalAdvance(c);
        total += advance;
    }
    return qCeil(total);
}

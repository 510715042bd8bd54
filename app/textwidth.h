// The width of a line of text in pixels, measured quickly: the advances of
// its characters (fractional, summed, then rounded up), each measured once
// and kept. Kerning is left out, so the
// result may be a pixel or two wider than the shaped text, never narrower in
// practice; that is what a scroll extent that must cover the line needs, and
// it costs a table look-up per character instead of shaping the whole line.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <vector>

class TextWidth {
public:
    explicit TextWidth(const QFont& font);

    int width(const QString& text);

private:
    QFontMetricsF metrics_;
    std::vector<qreal> advances_; // by UTF-16 code unit; negative until measured
};

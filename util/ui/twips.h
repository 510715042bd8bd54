// Twips (1/1440 inch) and pixels, with the screen's logical resolution:
// 15 twips to the pixel at 96 dots per inch. The windows laid out in twips
// were drawn for a 9-point font; with the user's font at another size every
// twip grows or shrinks with it, as it does on a finer or coarser screen, so
// the texts keep the room they were given.
#pragma once

#include <QString>
#include <QWidget>

int twipsToPixelsX(int twips);
int twipsToPixelsY(int twips);
int pixelsToTwipsX(int pixels);
int pixelsToTwipsY(int pixels);

// The application font's size over the 9 points the layouts were drawn for.
double twipsFontScale();

// A new WIDGET named NAME in PARENT, placed by its designed position and size
// in twips.
template <typename Widget>
Widget* makeTwips(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(twipsToPixelsX(left), twipsToPixelsY(top), twipsToPixelsX(width), twipsToPixelsY(height));
    return widget;
}

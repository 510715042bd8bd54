// Twips (1/1440 inch) and pixels, with the screen's logical resolution:
// 15 twips to the pixel at 96 dots per inch.
#pragma once

#include <QString>
#include <QWidget>

int twipsToPixelsX(int twips);
int twipsToPixelsY(int twips);
int pixelsToTwipsX(int pixels);
int pixelsToTwipsY(int pixels);

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

#include "twips.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <climits>
#include <cmath>

namespace {

constexpr double twipsPerInch = 1440.0;
constexpr double fallbackDpi = 96.0;
constexpr double designPoints = 9.0;

enum class Axis { X, Y };

double logicalDpi(Axis axis)
{
    const QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen)
        return fallbackDpi;
    const double dpi = axis == Axis::X ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
    return dpi > 0 ? dpi : fallbackDpi;
}

// Pixels to the inch, grown with the font.
double scaledDpi(Axis axis)
{
    return logicalDpi(axis) * twipsFontScale();
}

// Nearest whole number, held inside int's range.
int roundedInt(double value)
{
    if (value >= INT_MAX)
        return INT_MAX;
    if (value <= INT_MIN)
        return INT_MIN;
    return static_cast<int>(std::lround(value));
}

} // namespace

double twipsFontScale()
{
    if (!qGuiApp)
        return 1.0;
    const QFont font = QGuiApplication::font();
    double points = font.pointSizeF();
    if (points <= 0 && font.pixelSize() > 0)
        points = font.pixelSize() * 72.0 / logicalDpi(Axis::Y);
    return points > 0 ? points / designPoints : 1.0;
}

int twipsToPixelsX(int twips)
{
    return roundedInt(twips * scaledDpi(Axis::X) / twipsPerInch);
}

int twipsToPixelsY(int twips)
{
    return roundedInt(twips * scaledDpi(Axis::Y) / twipsPerInch);
}

int pixelsToTwipsX(int pixels)
{
    return roundedInt(pixels * twipsPerInch / scaledDpi(Axis::X));
}

int pixelsToTwipsY(int pixels)
{
    return roundedInt(pixels * twipsPerInch / scaledDpi(Axis::Y));
}

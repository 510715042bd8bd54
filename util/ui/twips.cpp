#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <climits>
#include <cmath>

namespace {

constexpr double twipsPerInch = 1440.0;
constexpr double fallbackDpi = 96.0;

enum class Axis { X, Y };

double logicalDpi(Axis axis)
{
    const QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen)
        return fallbackDpi;
    const double dpi = axis == Axis::X ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
    return dpi > 0 ? dpi : fallbackDpi;
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

int twipsToPixelsX(int twips)
{
    return roundedInt(twips * logicalDpi(Axis::X) / twipsPerInch);
}

int twipsToPixelsY(int twips)
{
    return roundedInt(twips * logicalDpi(Axis::Y) / twipsPerInch);
}

int pixelsToTwipsX(int pixels)
{
    return roundedInt(pixels * twipsPerInch / logicalDpi(Axis::X));
}

int pixelsToTwipsY(int pixels)
{
    return roundedInt(pixels * twipsPerInch / logicalDpi(Axis::Y));
}

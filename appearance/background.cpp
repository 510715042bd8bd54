#include "background.h"

#include <QColor>
#include <algorithm>
#include <array>

namespace {

// A system colour is 0x80000000 plus the index of one of the desktop's
// colours; these are the indices that have a counterpart in a palette.
constexpr std::uint32_t kSystemColorFlag = 0x80000000u;

struct SystemColor {
    std::uint32_t index;
    QPalette::ColorRole role;
};

constexpr std::array<SystemColor, 16> kSystemColors { {
    { 1, QPalette::Window }, // desktop
    { 4, QPalette::Window }, // menu
    { 5, QPalette::Base }, // window
    { 6, QPalette::Shadow }, // window frame
    { 7, QPalette::WindowText }, // menu text
    { 8, QPalette::Text }, // window text
    { 9, QPalette::HighlightedText }, // caption text
    { 13, QPalette::Highlight },
    { 14, QPalette::HighlightedText },
    { 15, QPalette::Button }, // button face
    { 16, QPalette::Dark }, // button shadow
    { 17, QPalette::PlaceholderText }, // grey text
    { 18, QPalette::ButtonText },
    { 20, QPalette::Light }, // button highlight
    { 23, QPalette::ToolTipText },
    { 24, QPalette::ToolTipBase },
} };

struct Gradient {
    QRgb top;
    QRgb bottom;
};

constexpr std::array<Gradient, kBackgroundSlots> kGradients { {
    { 0x0F15FF, 0x6CD2FF },
    { 0x3D41FF, 0x7FF8FF },
    { 0x7E81FF, 0x96EFFF },
    { 0xACAEFF, 0xB3FBFF },
    { 0xB1B2FF, 0xD0FCFF },
    { 0x7979FF, 0x93F8FF },
    { 0x7979FF, 0xF2B2CE },
    { 0x036BD6, 0x787CFD },
    { 0x0022AA, 0x1D98FD },
} };

constexpr int kWidth = 20;
constexpr int kHeight = 50;

int mix(int from, int to, int row)
{
    return from + (to - from) * row / (kHeight - 1);
}

std::int32_t colorValue(int red, int green, int blue)
{
    return red | (green << 8) | (blue << 16);
}

} // namespace

int timeSlotOfHour(int hour)
{
    return hour >= 4 && hour <= 19 ? (hour - 4) / 2 : 8;
}

bool isNightSlot(int slot)
{
    return slot >= 7;
}

QImage builtInBackground(int slot)
{
    if (slot < 0 || slot >= kBackgroundSlots)
        return QImage();
    const Gradient& gradient = kGradients[static_cast<size_t>(slot)];
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int row = 0; row < kHeight; ++row) {
        const QRgb colour = qRgb(mix(qRed(gradient.top), qRed(gradient.bottom), row),
            mix(qGreen(gradient.top), qGreen(gradient.bottom), row),
            mix(qBlue(gradient.top), qBlue(gradient.bottom), row));
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        std::fill(line, line + kWidth, colour);
    }
    return image;
}

std::int32_t automaticLabelColor(int slot)
{
    return isNightSlot(slot) ? colorValue(255, 255, 180) : colorValue(0, 0, 64);
}

QRgb rgbOfColorValue(std::int32_t value, const QPalette& palette)
{
    const auto bits = static_cast<std::uint32_t>(value);
    if ((bits & 0xFF000000u) == kSystemColorFlag) {
        const auto found = std::find_if(kSystemColors.begin(), kSystemColors.end(),
            [bits](const SystemColor& entry) { return entry.index == (bits & 0xFFFFFFu); });
        return palette.color(found != kSystemColors.end() ? found->role : QPalette::WindowText).rgb();
    }
    return qRgb(bits & 0xFF, (bits >> 8) & 0xFF, (bits >> 16) & 0xFF);
}

#include "background.h"

#include <QColor>
#include <array>

namespace {

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

int nTimeSlotOfHour(int hour)
{
    return hour >= 4 && hour <= 19 ? (hour - 4) / 2 : 8;
}

bool bIsNightSlot(int slot)
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
    return bIsNightSlot(slot) ? colorValue(255, 255, 180) : colorValue(0, 0, 64);
}

QRgb rgbOfColorValue(std::int32_t value)
{
    return qRgb(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

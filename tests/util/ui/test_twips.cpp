#include "util/ui/twips.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#include <gtest/gtest.h>

namespace {

double dpiX()
{
    return QGuiApplication::primaryScreen()->logicalDotsPerInchX();
}
double dpiY()
{
    return QGuiApplication::primaryScreen()->logicalDotsPerInchY();
}

} // namespace

TEST(Twips, AnInchIsTheScreensLogicalDotsPerInch)
{
    ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
    EXPECT_EQ(twipsToPixelsX(1440), std::lround(dpiX()));
    EXPECT_EQ(twipsToPixelsY(1440), std::lround(dpiY()));
    EXPECT_EQ(pixelsToTwipsX(static_cast<int>(dpiX())), std::lround(static_cast<int>(dpiX()) * 1440.0 / dpiX()));
    EXPECT_EQ(pixelsToTwipsY(static_cast<int>(dpiY())), std::lround(static_cast<int>(dpiY()) * 1440.0 / dpiY()));
}

TEST(Twips, RoundedToTheNearestWholeNumber)
{
    const double twipsPerPixel = 1440.0 / dpiX();
    // Just under and just over half a pixel.
    const int under = static_cast<int>(std::floor(twipsPerPixel * 0.45));
    const int over = static_cast<int>(std::ceil(twipsPerPixel * 0.55));
    EXPECT_EQ(twipsToPixelsX(under), 0);
    EXPECT_EQ(twipsToPixelsX(over), 1);
    EXPECT_EQ(twipsToPixelsX(-over), -1);
    EXPECT_EQ(pixelsToTwipsX(3), std::lround(3 * twipsPerPixel));

    // A window's size survives the way there and back.
    for (int pixels : { 0, 1, 7, 640, 1920 }) {
        EXPECT_EQ(twipsToPixelsX(pixelsToTwipsX(pixels)), pixels);
        EXPECT_EQ(twipsToPixelsY(pixelsToTwipsY(pixels)), pixels);
    }
}

TEST(Twips, GrowWithTheFontAsOnAFinerScreen)
{
    const QFont designed = QGuiApplication::font();
    for (double points : { 9.0, 10.5, 14.0, 18.0 }) {
        QFont font = designed;
        font.setPointSizeF(points);
        QGuiApplication::setFont(font);
        EXPECT_EQ(twipsToPixelsX(1440), std::lround(dpiX() * points / 9)) << points;
    }
    // A font sized in pixels counts by the points those pixels make.
    QFont pixels = designed;
    pixels.setPixelSize(24);
    QGuiApplication::setFont(pixels);
    EXPECT_EQ(twipsToPixelsY(1440), 24 * 72 / 9);
    QGuiApplication::setFont(designed);
}

// The program's own icons, painted at run time: the ten 32 x 32 icons that fly
// over the automatic background, and the program's icon.
#pragma once

#include <QPixmap>

// The edge of a flight icon, in logical pixels. A cloud is three icons side by
// side, one such edge apart.
constexpr int kFlightIconPixels = 32;

enum class FlightIcon {
    DayCloudLeft, // a white cloud, in three tiles from left to right
    DayCloudMiddle,
    DayCloudRight,
    BirdRight, // a bird flying up to the right
    BirdLeft, // the same bird mirrored, flying up to the left
    NightCloudLeft, // a grey cloud with a blue lower edge, in three tiles
    NightCloudMiddle,
    NightCloudRight,
    StarBurst, // a single bright star
    StarCluster, // a cluster of small sparkling stars
};

// WHICH, 32 x 32 logical pixels on a transparent ground, drawn sharp for a
// screen with RATIO device pixels to the logical pixel.
QImage flightIconImage(FlightIcon which, qreal ratio = 1.0);
QPixmap flightIcon(FlightIcon which, qreal ratio = 1.0);

// The program's icon, PIXELS square: a bird over a cloud in a day sky.
QPixmap programIcon(int pixels);

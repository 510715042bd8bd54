#include "icons.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>
#include <cmath>

namespace {

constexpr int kEdge = kFlightIconPixels;

// A transparent canvas of WIDTH x kEdge logical pixels.
QImage canvas(int width, qreal ratio)
{
    QImage image(qRound(width * ratio), qRound(kEdge * ratio), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    return image;
}

// A whole cloud, three tiles wide: round puffs of different sizes on a flat
// base. The tiles are cut from one drawing so that they join without a seam.
QPainterPath cloudOutline()
{
    QPainterPath cloud;
    cloud.setFillRule(Qt::WindingFill);
    cloud.addRoundedRect(QRectF(7, 17, 82, 11.5), 5.75, 5.75);
    const struct {
        qreal x, y, r;
    } puffs[] = { { 15, 20.5, 8 }, { 29, 15, 10.5 }, { 47.5, 12, 12.5 }, { 65, 14.5, 10.5 }, { 80, 19, 8.5 } };
    for (const auto& puff : puffs)
        cloud.addEllipse(QPointF(puff.x, puff.y), puff.r, puff.r);
    return cloud.simplified();
}

// The lower arcs of the inner puffs, hinting at their roundness.
void drawPuffShading(QPainter& painter, const QColor& colour)
{
    painter.setPen(QPen(colour, 1.1, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(18.5, 4.5, 21, 21), 200 * 16, 110 * 16);
    painter.drawArc(QRectF(35, -0.5, 25, 25), 215 * 16, 110 * 16);
    painter.drawArc(QRectF(54.5, 4, 21, 21), 230 * 16, 100 * 16);
}

QImage dayCloud(qreal ratio)
{
    QImage image = canvas(3 * kEdge, ratio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath cloud = cloudOutline();

    QLinearGradient body(0, 0, 0, 29);
    body.setColorAt(0, QColor(255, 255, 255));
    body.setColorAt(0.55, QColor(250, 252, 255));
    body.setColorAt(1, QColor(214, 225, 240));
    painter.setPen(QPen(QColor(168, 184, 206, 210), 1.0));
    painter.setBrush(body);
    painter.drawPath(cloud);

    painter.setClipPath(cloud);
    drawPuffShading(painter, QColor(200, 212, 230, 150));
    return image;
}

QImage nightCloud(qreal ratio)
{
    QImage image = canvas(3 * kEdge, ratio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath cloud = cloudOutline();

    QLinearGradient body(0, 0, 0, 29);
    body.setColorAt(0, QColor(176, 181, 193));
    body.setColorAt(1, QColor(120, 126, 142));
    painter.setPen(Qt::NoPen);
    painter.setBrush(body);
    painter.drawPath(cloud);

    // The lower edge, lit blue by the night sky beneath: the cloud less a
    // copy of itself raised a little.
    const QPainterPath rim = cloud.subtracted(cloud.translated(0, -4.2));
    QLinearGradient edge(0, 20, 0, 29);
    edge.setColorAt(0, QColor(110, 160, 250));
    edge.setColorAt(1, QColor(40, 92, 210));
    painter.setBrush(edge);
    painter.drawPath(rim);

    painter.save();
    painter.setClipPath(cloud);
    drawPuffShading(painter, QColor(150, 156, 170, 170));
    painter.restore();

    painter.setPen(QPen(QColor(78, 84, 102, 220), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(cloud);
    return image;
}

QImage cloudTile(bool night, int tile, qreal ratio)
{
    const QImage whole = night ? nightCloud(ratio) : dayCloud(ratio);
    const int edge = qRound(kEdge * ratio);
    QImage image = whole.copy(tile * edge, 0, edge, edge);
    image.setDevicePixelRatio(ratio);
    return image;
}

// A small bird seen from the side, heading along +x around the origin, its
// near wing raised high in the down-stroke to come.
struct BirdShape {
    QPainterPath body; // body, head and tail
    QPainterPath belly;
    QPainterPath nearWing;
    QPainterPath farWing;
    QPainterPath beak;
};

BirdShape birdShape()
{
    BirdShape shape;
    shape.body.setFillRule(Qt::WindingFill);
    shape.body.addEllipse(QPointF(0, 0.5), 7.5, 3.8);
    shape.body.addEllipse(QPointF(6.8, -1.8), 3.4, 3.3);
    QPainterPath tail;
    tail.moveTo(-5.5, -1.5);
    tail.lineTo(-13.5, -4.5);
    tail.lineTo(-11.5, -0.5);
    tail.lineTo(-13, 3);
    tail.lineTo(-5.5, 2.5);
    tail.closeSubpath();
    shape.body.addPath(tail);
    shape.body = shape.body.simplified();

    shape.belly.moveTo(-5.5, 1.8);
    shape.belly.cubicTo(-2, 4.8, 5, 5.2, 9, 0.2);
    shape.belly.cubicTo(5, 2.4, -1, 2.4, -5.5, 1.8);
    shape.belly.closeSubpath();

    // The leading edge sweeps up and back to the tip; the trailing edge comes
    // down again in three feather points.
    QPainterPath wing;
    wing.moveTo(4.5, -2.2);
    wing.cubicTo(3.5, -9, -1.5, -14.5, -10.5, -16);
    wing.lineTo(-7.2, -12.6);
    wing.lineTo(-10, -12.2);
    wing.lineTo(-6, -8.8);
    wing.lineTo(-8.6, -8.2);
    wing.lineTo(-4.2, -5.2);
    wing.lineTo(-6.2, -4.4);
    wing.lineTo(-2.5, -1.8);
    wing.closeSubpath();
    shape.nearWing = wing;
    shape.farWing = QTransform().translate(1.5, -1.5).rotate(-14).scale(0.9, 0.9).map(wing);

    shape.beak.moveTo(9.6, -3.1);
    shape.beak.lineTo(13.6, -1.7);
    shape.beak.lineTo(9.7, -0.6);
    shape.beak.closeSubpath();
    return shape;
}

QImage bird(bool toLeft, qreal ratio)
{
    QImage image = canvas(kEdge, ratio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (toLeft) {
        painter.translate(kEdge, 0);
        painter.scale(-1, 1);
    }
    // Climbing to the right at 30 degrees.
    painter.translate(16.5, 18);
    painter.rotate(-30);
    const BirdShape shape = birdShape();

    // A pale halo keeps the dark bird apart from the darker skies.
    QPainterPath silhouette = shape.body;
    silhouette.addPath(shape.nearWing);
    silhouette.addPath(shape.farWing);
    silhouette.addPath(shape.beak);
    painter.setPen(QPen(QColor(255, 255, 255, 140), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(silhouette.simplified());

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(22, 28, 48));
    painter.drawPath(shape.farWing);
    QLinearGradient back(0, -16, 0, 4);
    back.setColorAt(0, QColor(70, 86, 128));
    back.setColorAt(1, QColor(30, 38, 64));
    painter.setBrush(back);
    painter.drawPath(shape.body);
    painter.setBrush(QColor(246, 240, 226));
    painter.drawPath(shape.belly);
    painter.setBrush(QColor(240, 150, 40));
    painter.drawPath(shape.beak);
    QLinearGradient feathers(0, -16, 0, -2);
    feathers.setColorAt(0, QColor(44, 56, 92));
    feathers.setColorAt(1, QColor(82, 100, 146));
    painter.setBrush(feathers);
    painter.setPen(QPen(QColor(20, 26, 44), 0.6));
    painter.drawPath(shape.nearWing);

    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(7.9, -2.6), 1.1, 1.1);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QPointF(8.2, -2.6), 0.6, 0.6);
    return image;
}

// A star of POINTS spikes around CENTRE, reaching OUTER, pinched to INNER
// between them, the first spike straight up when ANGLE is 0.
QPainterPath sparkle(QPointF centre, int points, qreal outer, qreal inner, qreal angle = 0)
{
    QPainterPath star;
    for (int i = 0; i < 2 * points; ++i) {
        const qreal radius = i % 2 == 0 ? outer : inner;
        const qreal a = (angle - 90 + 180.0 * i / points) * M_PI / 180;
        const QPointF point(centre.x() + radius * std::cos(a), centre.y() + radius * std::sin(a));
        if (i == 0)
            star.moveTo(point);
        else
            star.lineTo(point);
    }
    star.closeSubpath();
    return star;
}

void drawGlow(QPainter& painter, QPointF centre, qreal radius, const QColor& colour)
{
    QRadialGradient glow(centre, radius);
    QColor clear = colour;
    clear.setAlpha(0);
    glow.setColorAt(0, colour);
    glow.setColorAt(1, clear);
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius, radius);
}

void drawSparkle(QPainter& painter, QPointF centre, qreal size, const QColor& tint)
{
    drawGlow(painter, centre, size * 0.75, QColor(tint.red(), tint.green(), tint.blue(), 150));
    QRadialGradient fill(centre, size);
    fill.setColorAt(0, Qt::white);
    fill.setColorAt(0.5, tint);
    fill.setColorAt(1, tint.darker(115));
    painter.setBrush(fill);
    painter.drawPath(sparkle(centre, 4, size, size * 0.2));
}

QImage starBurst(qreal ratio)
{
    QImage image = canvas(kEdge, ratio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(16, 16);

    drawGlow(painter, centre, 13, QColor(255, 244, 170, 170));
    painter.setBrush(QColor(255, 248, 205, 220));
    painter.drawPath(sparkle(centre, 4, 9, 1.6, 45));
    QRadialGradient fill(centre, 15);
    fill.setColorAt(0, Qt::white);
    fill.setColorAt(0.3, QColor(255, 252, 225));
    fill.setColorAt(1, QColor(255, 226, 120));
    painter.setBrush(fill);
    painter.drawPath(sparkle(centre, 4, 15, 2.6));
    drawGlow(painter, centre, 4.5, QColor(255, 255, 255, 255));
    return image;
}

QImage starCluster(qreal ratio)
{
    QImage image = canvas(kEdge, ratio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    drawSparkle(painter, QPointF(10, 10), 7.5, QColor(255, 246, 190));
    drawSparkle(painter, QPointF(23, 7), 4.5, QColor(210, 230, 255));
    drawSparkle(painter, QPointF(21, 21), 6.5, QColor(255, 238, 170));
    drawSparkle(painter, QPointF(7.5, 25), 4, QColor(220, 235, 255));
    drawSparkle(painter, QPointF(28, 15), 3, QColor(255, 250, 220));
    painter.setBrush(QColor(255, 255, 240, 230));
    const QPointF dots[] = { { 15.5, 16 }, { 27.5, 27.5 }, { 3.5, 15 }, { 15, 28.5 }, { 17.5, 3.5 } };
    for (const QPointF& dot : dots)
        painter.drawEllipse(dot, 0.9, 0.9);
    return image;
}

} // namespace

QImage flightIconImage(FlightIcon which, qreal ratio)
{
    if (!(ratio > 0))
        ratio = 1.0;
    switch (which) {
    case FlightIcon::DayCloudLeft:
        return cloudTile(false, 0, ratio);
    case FlightIcon::DayCloudMiddle:
        return cloudTile(false, 1, ratio);
    case FlightIcon::DayCloudRight:
        return cloudTile(false, 2, ratio);
    case FlightIcon::BirdRight:
        return bird(false, ratio);
    case FlightIcon::BirdLeft:
        return bird(true, ratio);
    case FlightIcon::NightCloudLeft:
        return cloudTile(true, 0, ratio);
    case FlightIcon::NightCloudMiddle:
        return cloudTile(true, 1, ratio);
    case FlightIcon::NightCloudRight:
        return cloudTile(true, 2, ratio);
    case FlightIcon::StarBurst:
        return starBurst(ratio);
    case FlightIcon::StarCluster:
        return starCluster(ratio);
    }
    return canvas(kEdge, ratio);
}

QPixmap flightIcon(FlightIcon which, qreal ratio)
{
    return QPixmap::fromImage(flightIconImage(which, ratio));
}

QPixmap programIcon(int pixels)
{
    if (pixels <= 0)
        return QPixmap();
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const qreal unit = pixels / 32.0;
    painter.scale(unit, unit);

    QLinearGradient sky(0, 0, 0, 32);
    sky.setColorAt(0, QColor(0x7E, 0x81, 0xFF));
    sky.setColorAt(1, QColor(0xB3, 0xFB, 0xFF));
    painter.setPen(QPen(QColor(60, 70, 160), 0.8));
    painter.setBrush(sky);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 6, 6);

    const qreal ratio = unit * 2;
    painter.drawImage(QRectF(1, 17, 30, 10), dayCloud(ratio));
    painter.drawImage(QRectF(9, 1, 21, 21), bird(false, ratio));
    return QPixmap::fromImage(image);
}

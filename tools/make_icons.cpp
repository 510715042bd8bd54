// vestrelle_icons OUTDIR SIZE...: paints the program's icon and the icon of
// copy-set files at each SIZE (pixels square) into the layout of the hicolor
// icon theme, ready to install:
//   OUTDIR/SIZExSIZE/apps/vestrelle.png
//   OUTDIR/SIZExSIZE/mimetypes/application-x-vestrelle-copyset.png
// The pictures are the ones the program paints for itself at run time, so the
// icons on the desktop and in the window's title bar are the same. Needs no
// display: it runs on the offscreen platform.
#include "appearance/icons.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// A copy set's icon: a sheet of paper with a folded corner and a few lines of
// "name, value" text, the program's icon on it as a badge.
QImage copySetIcon(int pixels)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const qreal unit = pixels / 32.0;
    painter.scale(unit, unit);
    // At least one device pixel wide, so that the sheet keeps its edge at 16 x 16.
    const qreal hairline = qMax(0.7, 1.0 / unit);

    QPainterPath sheet;
    sheet.moveTo(3.5, 0.5);
    sheet.lineTo(18.5, 0.5);
    sheet.lineTo(25.5, 7.5);
    sheet.lineTo(25.5, 31.5);
    sheet.lineTo(3.5, 31.5);
    sheet.closeSubpath();
    QLinearGradient paper(0, 0, 32, 32);
    paper.setColorAt(0, QColor(255, 255, 255));
    paper.setColorAt(1, QColor(228, 233, 242));
    painter.setPen(QPen(QColor(112, 122, 146), hairline, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(paper);
    painter.drawPath(sheet);

    QPainterPath fold;
    fold.moveTo(18.5, 0.5);
    fold.lineTo(18.5, 7.5);
    fold.lineTo(25.5, 7.5);
    fold.closeSubpath();
    painter.setBrush(QColor(204, 212, 228));
    painter.drawPath(fold);

    // The lines of the file, a short name and its value; too fine to read
    // below 24 pixels, where they would only blur the sheet.
    if (pixels >= 24) {
        painter.setPen(QPen(QColor(126, 136, 160), hairline * 1.4, Qt::SolidLine, Qt::FlatCap));
        const struct {
            qreal name, value;
        } lines[] = { { 4.5, 8 }, { 5.5, 10 }, { 4, 6.5 }, { 6, 3.5 } };
        qreal y = 5;
        for (const auto& line : lines) {
            painter.drawLine(QPointF(6.5, y), QPointF(6.5 + line.name, y));
            const qreal value = 6.5 + line.name + 2;
            painter.drawLine(QPointF(value, y), QPointF(qMin(value + line.value, y < 8 ? 17.0 : 23.0), y));
            y += 3;
        }
    }

    // The badge: the program's own icon over the lower right of the sheet.
    const int badge = qRound(pixels * 0.6);
    painter.resetTransform();
    painter.drawPixmap(pixels - badge, pixels - badge, programIcon(badge));
    return image;
}

// A build runs without a session: Qt's note that the session's runtime folder
// is missing would only clutter the build's output.
void quietWithoutSession(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

bool save(const QImage& image, const QString& folder, const QString& name)
{
    if (!QDir().mkpath(folder) || !image.save(folder + QLatin1Char('/') + name, "PNG")) {
        std::fprintf(stderr, "vestrelle_icons: cannot write %s/%s\n", qPrintable(folder), qPrintable(name));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i) {
        char* end = nullptr;
        const long size = std::strtol(argv[i], &end, 10);
        if (end == argv[i] || *end != '\0' || size < 8 || size > 1024) {
            std::fprintf(stderr, "vestrelle_icons: not a size from 8 to 1024: %s\n", argv[i]);
            return 2;
        }
        sizes.push_back(static_cast<int>(size));
    }
    if (sizes.empty()) {
        std::fprintf(stderr, "usage: vestrelle_icons OUTDIR SIZE...\n");
        return 2;
    }
    qInstallMessageHandler(quietWithoutSession);
    QGuiApplication app(argc, argv);
    const QString out = QFile::decodeName(argv[1]);
    bool written = true;
    for (int size : sizes) {
        const QString folder = out + QStringLiteral("/%1x%1").arg(size);
        written &= save(programIcon(size).toImage(), folder + QStringLiteral("/apps"), QStringLiteral("vestrelle.png"));
        written &= save(copySetIcon(size), folder + QStringLiteral("/mimetypes"),
            QStringLiteral("application-x-vestrelle-copyset.png"));
    }
    return written ? 0 : 1;
}

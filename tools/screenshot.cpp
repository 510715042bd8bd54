// vestrelle_screenshot OUT.png [WIDTH HEIGHT]: renders the main window, as it
// looks after start-up with a few copied files listed, into a PNG file.
//
// vestrelle_screenshot --all FOLDER: renders the main window by day and by
// night with icons in the air, the background dialog, the About dialog and
// the estimate window into FOLDER.
//
// --font-size PT, before either form, renders with the program's font at PT
// points, as a desktop with that font size shows the windows.
#include "app/copiedlist.h"
#include "app/frmabout.h"
#include "app/frmbase.h"
#include "app/frmest.h"
#include "app/textlabel.h"
#include "appearance/background.h"
#include "appearance/flights.h"
#include "appearance/frmbg.h"
#include "settings/store/store.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QTemporaryDir>
#include <array>
#include <cstdio>
#include <random>

namespace {

bool save(QWidget& widget, const QString& path)
{
    QApplication::processEvents();
    if (widget.grab().save(path))
        return true;
    std::fprintf(stderr, "vestrelle_screenshot: cannot write %s\n", qPrintable(path));
    return false;
}

void fillJob(frmBase& window)
{
    window.findChild<QComboBox*>(QStringLiteral("cmbSrc"))->setEditText(QStringLiteral("/home/user/写真"));
    window.findChild<QComboBox*>(QStringLiteral("cmbDst"))->setEditText(QStringLiteral("/media/usb/写真"));
    // The events of a run, as the engine reports them.
    RunFace& events = window;
    for (int i = 1; i <= 3; ++i)
        events.FileChecked("", "/media/usb/写真/2024/IMG_000" + std::to_string(i) + ".jpg",
            DateTime::fromUnixSeconds(1717200000 + i * 60), true);
    events.FolderSearched("/home/user/写真/2024");
    // The counters are the copy session's, which these events pass by: they
    // show what the session would have counted.
    for (const char* counter : { "lbCheckNum", "lbCopyNum" })
        window.findChild<TextLabel*>(QString::fromLatin1(counter))->setText(QStringLiteral("3"));
}

// Saves WINDOW into PATH showing the automatic background of time SLOT with
// flights under way (the same ones every time). The window shows the slot's
// picture and label colour as a built-in background, which keeps its own
// flights and timers off; the flights are flown here over its flight images.
bool saveSlotWithFlights(frmBase& window, int slot, const QString& path)
{
    QTemporaryDir dir;
    QFile set(dir.filePath(QStringLiteral("slot.vstl")));
    const QByteArray lines = QStringLiteral("reg\tGradation\t%1\r\nreg\tLabelColor\t%2\r\n")
                                 .arg(slot + 1)
                                 .arg(automaticLabelColor(slot))
                                 .toUtf8();
    if (!set.open(QIODevice::WriteOnly) || set.write(lines) != lines.size())
        return false;
    set.close();
    if (!window.bLoadCopySet(set.fileName()))
        return false;
    std::array<QLabel*, FlightDeck::kImageCount> images {};
    for (QLabel* image : window.findChildren<QLabel*>(QStringLiteral("imgFly")))
        images.at(static_cast<size_t>(image->property("index").toInt())) = image;
    FlightDeck flights(images, window.findChild<QLabel*>(QStringLiteral("imgBG")), nullptr, nullptr,
        [slot] { return isNightSlot(slot); });
    std::mt19937 draws(7);
    flights.setRandom([&draws] { return std::uniform_real_distribution<double>(0, 1)(draws); });
    for (int tick = 0; tick < 120; ++tick) {
        if (tick % 10 == 0)
            flights.launchFlight();
        bool animating = false;
        flights.tmFly_Timer(animating, false);
    }
    const bool saved = save(window, path);
    flights.StopFlights();
    return saved;
}

int renderAll(const QString& folder, SettingsStore& store)
{
    QDir().mkpath(folder);
    frmBase window(store);
    window.load();
    window.show();
    fillJob(window);
    bool written = saveSlotWithFlights(window, 3, folder + QStringLiteral("/mainwindow-day.png"));
    written &= saveSlotWithFlights(window, 8, folder + QStringLiteral("/mainwindow-night.png"));

    frmBG background;
    background.DispBGSetting(5, QString(), 0x00400000);
    background.show();
    written &= save(background, folder + QStringLiteral("/background-dialog.png"));

    frmAbout about;
    about.show();
    written &= save(about, folder + QStringLiteral("/about.png"));

    frmEst* estimate = new frmEst();
    estimate->SetFreeTotal(QStringLiteral("/media/usb/写真"), 12.5e9, 31.9e9);
    estimate->SetClusterBytes(32768);
    estimate->UpdateToCopy(14.1e9);
    estimate->UpdateExist(0.9e9);
    estimate->updatePeak(13.4e9);
    estimate->UpdateNeed(13.2e9);
    estimate->SetState(1);
    estimate->show();
    written &= save(*estimate, folder + QStringLiteral("/estimate.png"));
    delete estimate;
    return written ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    double points = 0;
    if (args.size() >= 2 && args[0] == QLatin1String("--font-size")) {
        points = args[1].toDouble();
        args = args.mid(2);
    }
    const bool all = args.size() == 2 && args[0] == QLatin1String("--all");
    if ((!all && args.size() != 1 && args.size() != 3) || points < 0) {
        std::fprintf(stderr, "usage: vestrelle_screenshot [--font-size PT] (OUT.png [WIDTH HEIGHT] | --all FOLDER)\n");
        return 2;
    }
    if (points > 0) {
        QFont font = QApplication::font();
        font.setPointSizeF(points);
        QApplication::setFont(font);
    }
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("settings.ini"));
    if (all)
        return renderAll(args[1], store);

    frmBase window(store);
    window.load();
    if (args.size() == 3)
        window.resize(args[1].toInt(), args[2].toInt());
    window.show();
    fillJob(window);
    return save(window, args[0]) ? 0 : 1;
}

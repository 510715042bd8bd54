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
#include <QLabel>
#include <QPixmap>
#include <QTemporaryDir>
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
    window.cmbSrc->setEditText(QStringLiteral("/home/user/写真"));
    window.cmbDst->setEditText(QStringLiteral("/media/usb/写真"));
    for (int i = 1; i <= 3; ++i)
        window.FileChecked("", "/media/usb/写真/2024/IMG_000" + std::to_string(i) + ".jpg",
            DateTime::fromUnixSeconds(1717200000 + i * 60), true);
    window.FolderSearched("/home/user/写真/2024");
}

// The automatic background of time SLOT with flights under way (the same
// ones every time).
void showSlotWithFlights(frmBase& window, int slot)
{
    window.nGradation = -1;
    window.ApplyBackground();
    window.nTimeSlot = slot;
    window.imgBG->setPixmap(QPixmap::fromImage(builtInBackground(slot)));
    window.SetLabelColor(automaticLabelColor(slot));
    std::mt19937 draws(7);
    window.flightDeck->setRandom([&draws] { return std::uniform_real_distribution<double>(0, 1)(draws); });
    // Timers off: the picture is taken after these ticks, not later ones.
    window.flightDeck->StopFlights();
    for (int tick = 0; tick < 120; ++tick) {
        if (tick % 10 == 0)
            window.flightDeck->launchFlight();
        bool animating = false;
        window.flightDeck->tmFly_Timer(animating, false);
    }
}

int renderAll(const QString& folder, SettingsStore& store)
{
    QDir().mkpath(folder);
    frmBase window(store);
    window.load();
    window.show();
    fillJob(window);
    bool written = true;
    showSlotWithFlights(window, 3);
    written &= save(window, folder + QStringLiteral("/mainwindow-day.png"));
    showSlotWithFlights(window, 8);
    written &= save(window, folder + QStringLiteral("/mainwindow-night.png"));

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

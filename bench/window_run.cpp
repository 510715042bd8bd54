// window_run SRC DST: one update run driven through the main window, offscreen,
// as a person would: the folders typed into the combo boxes, Start clicked,
// the summary answered. Prints the time from the click to the summary, then
// the summary.
#include "app/frmbase.h"
#include "settings/store/store.h"
#include "util/ui/messagebox.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: window_run SRC DST\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QTemporaryDir settings;
    SettingsStore store(settings.filePath("settings.ini"));
    frmBase window(store);
    window.load();
    window.show();
    QString summary;
    setMessageBoxAnswerer([&](const QString& text, int flags, const QString&) {
        summary = text;
        return (flags & MB_YESNO) ? IDYES : IDOK;
    });
    window.findChild<QComboBox*>(QStringLiteral("cmbSrc"))->setEditText(QString::fromLocal8Bit(argv[1]));
    window.findChild<QComboBox*>(QStringLiteral("cmbDst"))->setEditText(QString::fromLocal8Bit(argv[2]));
    QPushButton* start = window.findChild<QPushButton*>(QStringLiteral("btnStart"));
    QElapsedTimer run;
    run.start();
    start->click();
    // The run goes on in the window's event loop, as in the program.
    while (window.runInProgress())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 elapsed = run.nsecsElapsed();
    std::printf("run %.4f s\n%s\n", static_cast<double>(elapsed) / 1e9, summary.toUtf8().constData());
    return 0;
}

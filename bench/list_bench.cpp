// list_bench [LINES]: reports LINES copied files (200,000 by default) to the
// main window as a run would, offscreen, and prints the time per 10,000 lines
// at the start and at the end of the list. An append that slowed down as the
// list grew would show as a ratio well above 1.
#include "app/copiedlist.h"
#include "app/frmbase.h"
#include "settings/store/store.h"

#include <QApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 200000;
    const int block = 10000;
    if (lines < 2 * block) {
        std::fprintf(stderr, "list_bench: LINES must be at least %d\n", 2 * block);
        return 2;
    }
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("settings.ini"));
    frmBase window(store);
    window.load();
    window.show();
    QApplication::processEvents();
    // The window as its engine sees it, and the list it fills.
    RunFace& events = window;
    auto* list = window.findChild<CopiedListView*>(QStringLiteral("lstCopied"));

    using Clock = std::chrono::steady_clock;
    std::vector<double> blocks;
    std::string path;
    auto start = Clock::now();
    for (int i = 0; i < lines; ++i) {
        path = "/media/backup/photos/" + std::to_string(i / 100) + "/IMG_" + std::to_string(i) + ".jpg";
        events.FileChecked(path, path, DateTime::fromUnixSeconds(1700000000 + i), true);
        if ((i + 1) % 1000 == 0) {
            // A pump of the window, as a run makes every 20 ms: the list takes
            // in the new lines and repaints.
            list->lines();
            QApplication::processEvents();
        }
        if ((i + 1) % block == 0) {
            auto now = Clock::now();
            blocks.push_back(std::chrono::duration<double, std::milli>(now - start).count());
            start = now;
        }
    }
    const double first = blocks.front(), last = blocks.back();
    std::printf("lines %d: first 10,000 %.1f ms, last 10,000 %.1f ms, ratio %.2f\n", list->lines().count(), first, last,
        last / first);
    return 0;
}

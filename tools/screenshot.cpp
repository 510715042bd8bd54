// vestrelle_screenshot OUT.png [WIDTH HEIGHT]: renders the main window, as it
// looks after start-up with a few copied files listed, into a PNG file.
#include "copiedlist.h"
#include "frmbase.h"
#include "store.h"
#include "textlabel.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: vestrelle_screenshot OUT.png [WIDTH HEIGHT]\n");
        return 2;
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("settings.ini"));
    frmBase window(store);
    window.load();
    if (argc == 4)
        window.resize(std::atoi(argv[2]), std::atoi(argv[3]));
    window.show();

    window.cmbSrc->setEditText(QStringLiteral("/home/user/写真"));
    window.cmbDst->setEditText(QStringLiteral("/media/usb/写真"));
    for (int i = 1; i <= 3; ++i)
        window.FileChecked("", "/media/usb/写真/2024/IMG_000" + std::to_string(i) + ".jpg",
            DateTime::fromUnixSeconds(1717200000 + i * 60), true);
    window.FolderSearched("/home/user/写真/2024");
    QApplication::processEvents();

    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "vestrelle_screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

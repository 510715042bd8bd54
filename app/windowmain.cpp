// The window's start, in a module of its own: the program loads it only when
// a window is wanted, so that a batch run never loads Qt's widgets at all.
#include "run/windowmain.h"

#include "accessibility.h"
#include "frmbase.h"
#include "qttranslation.h"
#include "run/batchrun.h"
#include "run/commandline.h"
#include "run/stopsignals.h"
#include "settings/store/store.h"
#include "util/ui/messagebox.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPointer>
#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

// Nobody can see a window: no X or Wayland display, and no platform chosen.
bool noDisplay()
{
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// Where a display is usable the platforms are tried in turn, ending with
// the offscreen one.
void choosePlatform()
{
    if (noDisplay()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(quietWithoutSession);
    } else if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM",
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "xcb;offscreen" : "wayland;xcb;offscreen");
    }
}

} // namespace

extern "C" int vestrelleWindowMain(int* argc, char** argv)
{
    const QStringList arguments = programArguments(*argc, argv);
    const StartKind kind = startKindOf(arguments);
    // A batch command line comes here without a copy set that can be read:
    // the screen is wanted for a message, or for the window to mend the job in.
    if (kind == StartKind::Batch || kind == StartKind::MissingFile)
        choosePlatform();

    QApplication app(*argc, argv);
    if (kind == StartKind::MissingFile) {
        nMessageBox(QStringLiteral("設定ファイル ") + arguments.front() + QStringLiteral(" が見つかりません。"),
            MB_ICONERROR, kProgramCaption);
        return static_cast<int>(BatchStatus::Unusable);
    }
    if (kind == StartKind::Batch) {
        const BatchOptions options = readBatchOptions(arguments);
        if (options.setFile.isEmpty()) {
            nMessageBox(
                QStringLiteral("コマンドラインによる実行には、-f による設定ファイルの指定が必要です。\r\n\r\n例）　")
                    + kCommandLineExample + QStringLiteral("\r\n\r\n与えられたパラメータ：")
                    + arguments.join(QLatin1Char(' ')),
                MB_OK, kProgramCaption);
            return static_cast<int>(BatchStatus::Unusable);
        }
        // A run without a display has nobody to mend the job.
        if (nobodyCanSee()) {
            nMessageBox(copySetUnreadableText(options.setFile), MB_ICONERROR, kProgramCaption);
            return static_cast<int>(BatchStatus::Unusable);
        }
    }
    // Every caption is Japanese: without a font for it the window would show
    // boxes, and the one who starts it from a shell learns why.
    if (!QFontDatabase::writingSystems().contains(QFontDatabase::Japanese))
        std::fputs("vestrelle: 日本語を表示できるフォントがありません。"
                   "fonts-ipafont-gothic などのフォントを入れてください。\n",
            stderr);
    installQtTranslation(app);
    installAccessibleInterfaces();
    SettingsStore store;
    QPointer<frmBase> window = new frmBase(store);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // A stop signal closes the window as its close box does: a run in
    // progress is stopped first, and the window goes when it has ended.
    stopsignals::install();
    std::unique_ptr<QSocketNotifier> stopAsked;
    if (stopsignals::pipe() >= 0) {
        stopAsked = std::make_unique<QSocketNotifier>(stopsignals::pipe(), QSocketNotifier::Read);
        QObject::connect(stopAsked.get(), &QSocketNotifier::activated, [&window] {
            char byte;
            while (read(stopsignals::pipe(), &byte, 1) > 0) { }
            if (window)
                window->close();
        });
    }
    window->load(arguments);
    window->show();
    return app.exec();
}

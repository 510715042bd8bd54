#include "app/batch/batchrun.h"
#include "app/batch/commandline.h"
#include "frmbase.h"
#include "qttranslation.h"
#include "settings/store/store.h"
#include "util/ui/messagebox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStringList>
#include <cstdio>

namespace {

// Nobody can see a window: no X or Wayland display, and no platform chosen.
bool noDisplay()
{
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// A batch run started by a scheduler has no session: Qt's note that the
// session's runtime folder is missing would only fill the scheduler's mail.
void quietWithoutSession(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// A copy set that can be read runs without a window, whatever display there
// is: a cron job from a desktop session that has ended keeps a DISPLAY
// nobody answers, and a Wayland session may have no plugin for it.
bool runsUnseen(const BatchOptions& options)
{
    const QFileInfo setFile(options.setFile);
    return setFile.isFile() && setFile.isReadable();
}

// Only a batch command line without a copy set that can be read wants the
// screen: for a message, or for the window to mend the job in. The
// platforms are tried in turn, ending with the offscreen one.
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

int main(int argc, char** argv)
{
    // The arguments as the shell gave them, before Qt takes out its own.
    QStringList given;
    for (int i = 1; i < argc; ++i)
        given.append(QFile::decodeName(argv[i]));
    const QStringList arguments = withoutQtOptions(given);
    const StartKind kind = startKindOf(arguments);
    if (kind == StartKind::Help) {
        std::fputs(qPrintable(usageText()), stdout);
        return 0;
    }
    if (kind == StartKind::Version) {
        std::printf("vestrelle %s\n", VESTRELLE_VERSION);
        return 0;
    }
    const BatchOptions options = readBatchOptions(arguments);
    if (kind == StartKind::Batch) {
        if (runsUnseen(options)) {
            QCoreApplication app(argc, argv);
            qInstallMessageHandler(quietWithoutSession);
            SettingsStore store;
            return BatchRun(store).run(options);
        }
        choosePlatform();
    }

    QApplication app(argc, argv);
    if (kind == StartKind::Batch) {
        if (options.setFile.isEmpty()) {
            nMessageBox(
                QStringLiteral("コマンドラインによる実行には、-f による設定ファイルの指定が必要です。\r\n\r\n例）　")
                    + kCommandLineExample + QStringLiteral("\r\n\r\n与えられたパラメータ：")
                    + arguments.join(QLatin1Char(' ')),
                MB_OK, kProgramCaption);
            return kBatchUnusable;
        }
        // Somebody at the screen gets the window to mend the job in; a run
        // without a display has nobody to do that.
        if (bNobodyCanSee()) {
            nMessageBox(QStringLiteral("設定ファイル ") + options.setFile + QStringLiteral(" を読み込めません。"),
                MB_ICONERROR, kProgramCaption);
            return kBatchUnusable;
        }
    }
    installQtTranslation(app);
    SettingsStore store;
    QPointer<frmBase> window = new frmBase(store);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->load(arguments);
    window->show();
    return app.exec();
}

#include "commandline.h"
#include "frmbase.h"
#include "messagebox.h"
#include "qttranslation.h"
#include "store.h"

#include <QApplication>
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

// Batch mode never shows its window, so a copy set that can be read runs on
// the offscreen platform whatever display there is: a cron job from a
// desktop session that has ended keeps a DISPLAY nobody answers, and a
// Wayland session may have no plugin for it. Only a copy set that cannot be
// read wants the window, where a display is usable; the platforms are then
// tried in turn, ending with the offscreen one.
void choosePlatform(const QStringList& arguments)
{
    const QFileInfo setFile(readBatchOptions(arguments).setFile);
    const bool runsUnseen = setFile.isFile() && setFile.isReadable();
    if (runsUnseen || noDisplay()) {
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
    if (kind == StartKind::Batch)
        choosePlatform(arguments);

    QApplication app(argc, argv);
    // Nobody reads Qt's texts in a batch run.
    if (kind != StartKind::Batch)
        installQtTranslation(app);
    SettingsStore store;
    QPointer<frmBase> window = new frmBase(store);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->bHeadless = bNobodyCanSee();
    if (const std::optional<int> status = window->load(arguments))
        return *status;
    window->show();
    return app.exec();
}

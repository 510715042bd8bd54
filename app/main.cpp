#include "frmbase.h"
#include "messagebox.h"
#include "store.h"

#include <QApplication>
#include <QFile>
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

} // namespace

int main(int argc, char** argv)
{
    // The arguments as given, before Qt takes out the options it knows.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    // A batch run from a scheduler on a server has no display to open.
    if (argc > 1 && noDisplay()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(quietWithoutSession);
    }

    QApplication app(argc, argv);
    SettingsStore store;
    QPointer<frmBase> window = new frmBase(store);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->bHeadless = bNobodyCanSee();
    if (const std::optional<int> status = window->load(arguments.join(QLatin1Char(' '))))
        return *status;
    window->show();
    return app.exec();
}

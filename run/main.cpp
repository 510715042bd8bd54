// The program: the command line, and batch mode on Qt Core. The window lives
// in a module that is loaded only when a window is wanted.
#include "batchrun.h"
#include "commandline.h"
#include "settings/store/store.h"
#include "stopsignals.h"
#include "util/paths.h"
#include "windowmain.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <dlfcn.h>

namespace {

// A copy set that can be read runs unattended without a window, whatever
// display there is: a cron job from a desktop session that has ended keeps a
// DISPLAY nobody answers, and a Wayland session may have no plugin for it.
bool runsUnseen(const BatchOptions& options)
{
    const QFileInfo setFile(options.setFile);
    return setFile.isFile() && setFile.isReadable();
}

int openWindow(int& argc, char** argv)
{
    const std::string module = ProgramFolder() + kWindowModule;
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto windowMain = handle ? reinterpret_cast<WindowMain>(dlsym(handle, kWindowEntry)) : nullptr;
    if (!windowMain) {
        const char* why = dlerror();
        std::fprintf(stderr, "vestrelle: the window cannot be opened: %s\n", why ? why : module.c_str());
        return static_cast<int>(BatchStatus::Unusable);
    }
    return windowMain(&argc, argv);
}

} // namespace

int main(int argc, char** argv)
{
    const QStringList arguments = programArguments(argc, argv);
    switch (startKindOf(arguments)) {
    case StartKind::Help:
        std::fputs(qPrintable(usageText()), stdout);
        return 0;
    case StartKind::Version:
        std::printf("vestrelle %s\n", VESTRELLE_VERSION);
        return 0;
    case StartKind::Batch:
        if (const BatchOptions options = readBatchOptions(arguments); runsUnseen(options)) {
            QCoreApplication app(argc, argv);
            qInstallMessageHandler(quietWithoutSession);
            SettingsStore store;
            BatchRun batch(store);
            stopsignals::install();
            return static_cast<int>(batch.run(options));
        }
        break;
    default:
        break;
    }
    return openWindow(argc, argv);
}

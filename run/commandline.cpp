#include "commandline.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cstdio>

namespace {

// The options that QGuiApplication and QApplication remove from the command
// line. Qt also takes them with two dashes, and the two style options as
// "-style=NAME".
constexpr std::array kQtOptionsWithValue { "platform", "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "geometry", "qwindowtitle", "title", "qwindowicon", "icon", "session", "display", "name",
    "style", "stylesheet" };
constexpr std::array kQtFlags { "reverse", "widgetcount", "nograb", "dograb", "testability" };
constexpr std::array kQtOptionsWithEquals { "style=", "stylesheet=", "qmljsdebugger=" };

// NAME without the one or two dashes in front, or empty for a text that is
// not an option.
QString optionName(const QString& argument)
{
    if (argument.startsWith(QLatin1String("--")))
        return argument.mid(2);
    if (argument.startsWith(QLatin1Char('-')))
        return argument.mid(1);
    return QString();
}

template <std::size_t N> bool isOneOf(const QString& name, const std::array<const char*, N>& names)
{
    for (const char* candidate : names) {
        if (name == QLatin1String(candidate))
            return true;
    }
    return false;
}

} // namespace

QStringList withoutQtOptions(const QStringList& arguments)
{
    QStringList left;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString name = optionName(arguments[i]);
        if (name.isEmpty()) {
            left.append(arguments[i]);
        } else if (isOneOf(name, kQtOptionsWithValue)) {
            ++i;
        } else if (!isOneOf(name, kQtFlags)
            && std::none_of(kQtOptionsWithEquals.begin(), kQtOptionsWithEquals.end(),
                [&name](const char* prefix) { return name.startsWith(QLatin1String(prefix)); })) {
            left.append(arguments[i]);
        }
    }
    return left;
}

StartKind startKindOf(const QStringList& arguments)
{
    if (arguments.isEmpty())
        return StartKind::Window;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return StartKind::Help;
        if (argument == QLatin1String("--version") || argument == QLatin1String("-V"))
            return StartKind::Version;
    }
    if (arguments.size() == 1 && !arguments[0].startsWith(QLatin1Char('-'))) {
        // A stale recent entry of a file manager, or a typo.
        const QFileInfo file(arguments[0]);
        if (file.isFile())
            return StartKind::OpenCopySet;
        if (!file.exists() && !file.isSymLink())
            return StartKind::MissingFile;
    }
    return StartKind::Batch;
}

BatchOptions readBatchOptions(const QStringList& arguments)
{
    BatchOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const bool set = arguments[i].compare(QLatin1String("-f"), Qt::CaseInsensitive) == 0;
        const bool log = arguments[i].compare(QLatin1String("-l"), Qt::CaseInsensitive) == 0;
        if (!set && !log)
            continue;
        if (i + 1 < arguments.size())
            (set ? options.setFile : options.logFile) = arguments[i + 1];
        ++i;
    }
    return options;
}

QString copySetUnreadableText(const QString& file)
{
    return QStringLiteral("設定ファイル ") + file + QStringLiteral(" を読み込めません。");
}

QString usageText()
{
    return QStringLiteral("Usage: vestrelle [COPYSET]\n"
                          "       vestrelle -f COPYSET [-l LOG]\n"
                          "\n"
                          "Brings a destination folder up to date with a source folder by copying only\n"
                          "new and changed files. Without arguments the window opens; with the path of\n"
                          "a copy set (.vstl) it opens with that copy set loaded.\n"
                          "\n"
                          "  -f COPYSET     run the copy set unattended, without the window\n"
                          "  -l LOG         write the run's log to LOG, replacing it\n"
                          "                 (default ./Vestrelle.log; -l '' for no log)\n"
                          "  -h, --help     print this help and exit\n"
                          "  -V, --version  print the version and exit\n"
                          "\n"
                          "Exit status of an unattended run: 0 completed without a copy error;\n"
                          "1 completed with skipped errors, stopped, or ended by an error;\n"
                          "2 the command line, the copy set, the log or the job could not be used.\n"
                          "\n"
                          "Settings: $XDG_CONFIG_HOME/Quorvane/Vestrelle.conf\n"
                          "          (normally ~/.config/Quorvane/Vestrelle.conf)\n"
                          "\n"
                          "Example: ")
        + kCommandLineExample + QLatin1Char('\n');
}

QStringList programArguments(int argc, char** argv)
{
    QStringList given;
    for (int i = 1; i < argc; ++i)
        given.append(QFile::decodeName(argv[i]));
    return withoutQtOptions(given);
}

void quietWithoutSession(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// The program's command line: the options Qt takes for itself, the batch
// options, and which kind of start the arguments ask for. Qt Core only.
#pragma once

#include <QString>
#include <QStringList>

// The program's name as its window and its messages show it.
inline const QString kProgramCaption = QStringLiteral("更新ファイルコピー");

// The example shown wherever the command line is explained.
inline const QString kCommandLineExample = QStringLiteral("vestrelle -f copyset1.vstl -l /tmp/copyset1.log");

enum class StartKind {
    Window, // no arguments
    OpenCopySet, // one argument naming a file, as a file manager starts us
    MissingFile, // one argument, not an option, naming nothing that exists
    Batch, // anything else: a copy set to run unattended
    Help,
    Version,
};

// The arguments of main() after the program's name, as the shell gave them,
// less Qt's own options.
QStringList programArguments(int argc, char** argv);

// A batch run started by a scheduler has no session: Qt's note that the
// session's runtime folder is missing would only fill the scheduler's mail.
// A message handler that leaves that note out.
void quietWithoutSession(QtMsgType type, const QMessageLogContext& context, const QString& message);

// ARGUMENTS (without the program's name) less Qt's own options such as
// "-style fusion" or "-platform xcb", with their values.
QStringList withoutQtOptions(const QStringList& arguments);

// What ARGUMENTS (without Qt's options) ask for.
StartKind startKindOf(const QStringList& arguments);

struct BatchOptions {
    QString setFile;
    QString logFile = QStringLiteral("./Vestrelle.log");
};

// "-f" and "-l" in any letter case each take the next argument as their
// value; a later one wins, one without an argument after it changes
// nothing, and every other argument is ignored.
BatchOptions readBatchOptions(const QStringList& arguments);

// What is said of a copy set FILE that cannot be read, wherever it was named.
QString copySetUnreadableText(const QString& file);

// What --help prints.
QString usageText();

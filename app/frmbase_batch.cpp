// Batch mode: a copy set named on the command line is run unattended, its
// messages and copied files written to a log, and the program ends without
// showing its window.
#include "commandline.h"
#include "flights.h"
#include "forms.h"
#include "frmbase.h"
#include "messagebox.h"
#include "ownfiles.h"
#include "pathtext.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <exception>
#include <unistd.h>

namespace {

QString timeStamp()
{
    return QString::fromStdString(DateTimeText(DateTime::now()));
}

} // namespace

std::optional<int> frmBase::RunCommandLine(const QStringList& arguments)
{
    QCoreApplication::processEvents();
    const BatchOptions options = readBatchOptions(arguments);
    strSetFile = options.setFile;
    strLogFile = options.logFile;

    // The window closes for good here; nothing of it is touched afterwards.
    auto end = [this](int status) {
        QWidget* self = this;
        bUnloadForm(self);
        return status;
    };

    if (strSetFile.isEmpty()) {
        nMessageBox(
            QStringLiteral("コマンドラインによる実行には、-f による設定ファイルの指定が必要です。\r\n\r\n例）　")
                + kCommandLineExample + QStringLiteral("\r\n\r\n与えられたパラメータ：")
                + arguments.join(QLatin1Char(' ')),
            MB_OK, kCaption);
        return end(kBatchUnusable);
    }
    // Batch from here on, so that nothing the copy set brings (a background
    // picture that cannot be read) stops an unattended run with a question.
    bBatch = true;
    const bool loaded = bLoadCopySet(strSetFile);
    bBatch = false;
    if (!loaded) {
        // Somebody at the screen gets the window to mend the job in; a run
        // without a display has nobody to do that.
        if (!bHeadless)
            return std::nullopt;
        nMessageBox(QStringLiteral("設定ファイル ") + strSetFile + QStringLiteral(" を読み込めません。"), MB_ICONERROR,
            kCaption);
        return end(kBatchUnusable);
    }
    // Nobody will see the window: nothing flies over it.
    flightDeck->StopFlights();
    if (!strLogFile.isEmpty()) {
        nLogFile = std::make_unique<QFile>(strLogFile);
        const int fd = openLogForWriting(toPath(strLogFile), toPath(strSetFile));
        if (fd < 0 || !nLogFile->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0)
                ::close(fd);
            nLogFile.reset();
            nMessageBox(
                QStringLiteral("指定ログファイル ") + strLogFile + QStringLiteral("が開けません。"), MB_OK, kCaption);
            return end(kBatchUnusable);
        }
        writeLog(timeStamp() + QStringLiteral(" 処理開始"));
    }

    bBatch = true;
    batchErrors_ = 0;
    int status = kBatchIncomplete;
    try {
        btnStart_Click();
        if (!lastRunResult_)
            status = kBatchUnusable;
        else if (*lastRunResult_ == 0 && batchErrors_ == 0)
            status = kBatchClean;
    } catch (const std::exception& failure) {
        // Not a copy error (those are logged and skipped): the run could not
        // go on at all.
        const QString message
            = QStringLiteral("予期しないエラーのため、処理を中止しました。") + QString::fromLocal8Bit(failure.what());
        writeLog(message);
        nMessageBox(message, MB_ICONERROR, kCaption);
    }

    if (nLogFile) {
        writeLog(timeStamp() + QStringLiteral(" 処理終了"));
        if (!nLogFile->flush() || nLogFile->error() != QFileDevice::NoError) {
            // A log that could not be written completely is no record of the
            // run: say so where the scheduler that started us will see it.
            nMessageBox(QStringLiteral("指定ログファイル ") + strLogFile + QStringLiteral("に書き込めませんでした。"),
                MB_ICONERROR, kCaption);
            status = std::max(status, static_cast<int>(kBatchIncomplete));
        }
        nLogFile->close();
    }
    return end(status);
}

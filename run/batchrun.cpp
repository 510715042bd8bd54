#include "batchrun.h"

#include "engine/diffcopy.h"
#include "settings/copyset.h"
#include "settings/store/histories.h"
#include "stopsignals.h"
#include "util/logtext.h"
#include "util/messagevalues.h"
#include "util/ownfiles.h"
#include "util/paths.h"
#include "util/qt/pathtext.h"

#include <QFile>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <exception>
#include <unistd.h>

namespace {

std::string timeStamp()
{
    return DateTimeText(DateTime::now());
}

void toStandardError(const QString& title, const QString& text)
{
    const std::string line = unseenMessageLine(title.toStdString(), text.toStdString());
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

// Checking the job unattended: its questions go to the log and are
// answered Yes; a refusal goes to REFUSE. The names in them stay as they
// are: the log escapes each record as a whole.
class Unattended : public JobDialogue {
public:
    using Say = std::function<void(const std::string&)>;
    Unattended(Say say, Say refuse)
        : say_(std::move(say))
        , refuse_(std::move(refuse))
    {
    }
    void refuse(const std::string& message, Field) override { refuse_(message); }
    bool ask(const std::string& question) override
    {
        say_(question);
        return true;
    }

private:
    Say say_;
    Say refuse_;
};

} // namespace

BatchRun::BatchRun(SettingsStore& store, Alert alert)
    : store_(store)
    , alert_(alert ? std::move(alert) : Alert(toStandardError))
    , session_(*this, CopySession::Threading::Caller)
{
    session_.passedOver = [this](const std::string& src, const std::string& dst, const std::string& error) {
        logError(src, dst, error);
    };
    session_.engine().setYield([this] { yield(); });
    session_.engine().setBeforeCopy([this] {
        if (beforeThreadedCopy)
            beforeThreadedCopy();
    });
}

BatchRun::~BatchRun() = default;

BatchStatus BatchRun::run(const BatchOptions& options)
{
    const std::optional<std::string> bytes = readCopySetFile(toPath(options.setFile));
    if (!bytes) {
        alert_(kProgramCaption, copySetUnreadableText(options.setFile));
        return BatchStatus::Unusable;
    }
    const CopyJob job = readCopySet(*bytes);

    if (!options.logFile.isEmpty()) {
        log_ = std::make_unique<QFile>(options.logFile);
        const int fd = openLogForWriting(toPath(options.logFile), toPath(options.setFile));
        if (fd < 0 || !log_->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0)
                ::close(fd);
            log_.reset();
            alert_(kProgramCaption,
                QStringLiteral("指定ログファイル ") + options.logFile + QStringLiteral("が開けません。"));
            return BatchStatus::Unusable;
        }
        writeLog(timeStamp() + " 処理開始");
    }

    BatchStatus status = BatchStatus::Incomplete;
    try {
        const std::optional<RunEnd> end = start(job);
        if (!end)
            status = BatchStatus::Unusable;
        else if (end->result == 0 && end->errors == 0 && !end->massChange)
            status = BatchStatus::Clean;
        // Every old version is kept all the same; a cron mail or a failed
        // service unit is what tells the user in time.
        if (end && end->massChange)
            alert_(kProgramCaption, end->warning);
    } catch (const std::exception& failure) {
        // Not a copy error (those are logged and skipped): the run could not
        // go on at all.
        const std::string message = std::string("予期しないエラーのため、処理を中止しました。") + failure.what();
        writeLog(message);
        alert_(kProgramCaption, QString::fromLocal8Bit(message.c_str()));
    }

    if (log_) {
        writeLog(timeStamp() + " 処理終了");
        if (!log_->flush() || log_->error() != QFileDevice::NoError) {
            // A log that could not be written completely is no record of the
            // run: say so where the scheduler that started us will see it.
            alert_(kProgramCaption,
                QStringLiteral("指定ログファイル ") + options.logFile + QStringLiteral("に書き込めませんでした。"));
            status = std::max(status, BatchStatus::Incomplete);
        }
        log_->close();
    }
    return status;
}

std::optional<RunEnd> BatchRun::start(const CopyJob& job)
{
    Histories histories(
        store_, {},
        [this](const QString& text, int buttons, const QString&) {
            say(text.toStdString());
            return (buttons & MB_YESNO) ? IDYES : IDOK;
        },
        kProgramCaption);
    histories.bLoadHistory();

    Unattended dialogue(
        [this](const std::string& text) { say(text); }, [this](const std::string& text) { refuse(text); });
    const std::optional<RunOrder> order = checkJob(job, dialogue);
    if (!order)
        return std::nullopt;
    // A source that is not there (a mount that failed) must not pass for a
    // night with nothing to copy.
    if (!bIsFolder(order->source)) {
        refuse("コピー元フォルダ " + order->source + " が見つかりません。");
        return std::nullopt;
    }

    flushes_.restart();
    session_.keepReplaced = job.keep;
    RunEnd end;
    session_.start(*order, CopySession::Mode::Copy, &histories, nullptr, [&end](const RunEnd& ended) { end = ended; });
    say(end.summary.toStdString());
    if (!end.warning.isEmpty())
        say(end.warning.toStdString());
    return end;
}

void BatchRun::say(const std::string& text)
{
    writeLog(text);
}

void BatchRun::refuse(const std::string& text)
{
    writeLog(text);
    alert_(QStringLiteral("vestrelle"), QString::fromStdString(logText(text)));
}

void BatchRun::writeLog(const std::string& record, bool flush)
{
    if (!log_ || !log_->isOpen())
        return;
    // The bytes as they are: a name that is no UTF-8 would not survive a
    // QString, and logText's text needs no conversion.
    log_->write(QByteArray::fromStdString(logText(record) + "\r\n"));
    if (flush)
        log_->flush();
}

void BatchRun::yield()
{
    if (const int number = stopsignals::signalled(); number != 0 && !stopping_) {
        stopping_ = true;
        writeLog(std::string("シグナル SIG") + sigabbrev_np(number) + " を受けたため、処理を中断します");
        session_.engine().StopCopy();
    }
    if (!flushes_.due())
        return;
    if (log_)
        log_->flush();
    flushes_.restart();
}

void BatchRun::FileChecked(const std::string&, const std::string& pDst, const DateTime& dtFile, bool bCopied)
{
    if (bCopied)
        writeLog(DateTimeText(dtFile) + ' ' + pDst, false);
}

void BatchRun::FolderSearching(const std::string&) { }

void BatchRun::FolderSearched(const std::string&) { }

void BatchRun::FolderAlreadyCopied(const std::string& pSrc, const std::string& firstDst)
{
    writeLog(pSrc + " は既に " + firstDst + " へコピーしたため、たどりません");
}

void BatchRun::ErrorDetected(
    const std::string& strSrc, const std::string& strDst, const std::string& strErr, Answer answer)
{
    logError(strSrc, strDst, strErr);
    answer(ErrorReply::SkipAll);
}

void BatchRun::logError(const std::string& src, const std::string& dst, const std::string& error)
{
    // The engine's text names files too, as they are.
    writeLog(src + " -> " + dst + " でエラーが発生。" + error);
}

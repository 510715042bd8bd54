// The main window's handlers of the engine's events: counters, status line,
// the list of copied files, and the copy-error dialog.
#include "copiedlist.h"
#include "frmbase.h"
#include "frmerr.h"
#include "frmest.h"
#include "run/runprogress.h"
#include "textlabel.h"
#include "textwidth.h"
#include "util/qt/pathtext.h"
#include "util/ui/dialogs.h"
#include "util/ui/forms.h"
#include "util/ui/twips.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>

void frmBase::FileChecked(const std::string&, const std::string& pDst, const DateTime& dtFile, bool bCopied)
{
    // The counters and the checked file are read when the window paints
    // (refreshRunDisplay schedules that at every pump of a run).
    ++nCheckCount;
    checkedFile_ = pDst;
    if (!lbCheckNum->hasSource())
        lbCheckNum->setSource([this] { return QString::number(nCheckCount); });
    if (!lbCheckFile->hasSource())
        lbCheckFile->setSource([this] { return fromPath(checkedFile_); });
    if (!bCopied)
        return;

    ++nCopyCount;
    if (!bEstimating && !lbCopyNum->hasSource())
        lbCopyNum->setSource([this] { return QString::number(nCopyCount); });
    const QString line = QString::fromStdString(DateTimeText(dtFile)) + QLatin1Char(' ') + fromPath(pDst);
    lstCopied->appendLine(line);

    // The horizontal extent only grows, to the widest line so far.
    if (!lineWidth_)
        lineWidth_ = std::make_unique<TextWidth>(font());
    const int width = pixelsToTwipsX(lineWidth_->width(line));
    if (nMaxTextWidth < width) {
        nMaxTextWidth = width;
        lstCopied->setHorizontalExtent(twipsToPixelsX(nMaxTextWidth));
    }
}

// The status line is painted by the run's next pump of the window, at most
// 20 ms of work away (a large file is copied while the window keeps pumping),
// so it needs no forced repaint per folder, which would cost a run of many
// small folders more than its copying.
namespace {

// How long a run may go without getting on before the status line says what it waits for.
constexpr std::chrono::seconds kStalled { 3 };

} // namespace

void frmBase::FolderSearching(const std::string& pPath)
{
    showRunStatus(fromPath(pPath) + QStringLiteral(" 以下のファイルを検索中です．．．"));
}

void frmBase::FolderSearched(const std::string& pPath)
{
    showRunStatus(fromPath(pPath) + QStringLiteral(" 以下のファイルを比較コピーします．．．"));
}

void frmBase::FolderAlreadyCopied(const std::string& pSrc, const std::string& firstDst)
{
    showRunStatus(fromPath(pSrc) + QStringLiteral(" は既に ") + fromPath(firstDst)
        + QStringLiteral(" へコピーしたため、たどりません"));
}

void frmBase::showRunStatus(const QString& doing)
{
    runDoing_ = doing;
    waiting_.clear(); // an event: the run has got on
    paintRunStatus();
}

void frmBase::paintRunStatus()
{
    const QString& doing = waiting_.isEmpty() ? runDoing_ : waiting_;
    // The progress goes first: a long path would push it out of sight.
    lbMsg->setText(progressLine_.isEmpty() ? doing : progressLine_ + QStringLiteral("　") + doing);
}

void frmBase::showProgress()
{
    if (!meter_)
        return;
    ProgressSample sample;
    sample.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - runStarted_).count();
    sample.filesChecked = nCheckCount;
    sample.run = cpMan->progress();
    progressLine_ = meter_->update(sample);
    // A share whose server has gone quiet: the user learns what the run waits for.
    const DiffCopy::Activity activity = cpMan->activity();
    waiting_ = !activity.folder.empty() && std::chrono::steady_clock::now() - activity.since >= kStalled
        ? fromPath(activity.folder) + QStringLiteral(" の応答を待っています．．．")
        : QString();
    paintRunStatus();
    setWindowTitle(progressLine_ + QStringLiteral(" - ") + kCaption);
    if (bEstimating && estimateWindow)
        estimateWindow->showChecked(nCheckCount, sample.run.bytesChecked);
}

void frmBase::refreshRunDisplay()
{
    lstCopied->lines().flush();
    lbCheckNum->refresh();
    lbCheckFile->refresh();
    lbCopyNum->refresh();
}

void frmBase::ErrorDetected(
    const std::string& strSrc, const std::string& strDst, const std::string& strErr, ErrorReply& nOp)
{
    if (bSkipAll) {
        nOp = ErrorReply::SkipAll;
        return;
    }

    // The dialog is answered with the ordinary pointer; the run's busy
    // pointer returns afterwards.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    frmErr* dialog = new frmErr(this);
    dialog->SetError(fromPath(strSrc), fromPath(strDst), QString::fromLocal8Bit(strErr.c_str()));
    execDialog(*dialog);
    nOp = dialog->reply();
    bUnloadForm(dialog);
    if (nOp == ErrorReply::SkipAll)
        bSkipAll = true;
    QApplication::restoreOverrideCursor();
}

void frmBase::mnuListSelAll_Click()
{
    BusyCursor busy;
    lstCopied->lines().flush();
    lstCopied->selectAll();
}

void frmBase::mnuListSelClear_Click()
{
    BusyCursor busy;
    lstCopied->clearSelection();
}

void frmBase::mnuListCopy_Click()
{
    BusyCursor busy;
    QApplication::clipboard()->setText(lstCopied->selectedText());
}

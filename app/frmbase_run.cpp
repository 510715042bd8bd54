// Run control: checking the job, starting and stopping a copy run, the
// elapsed-seconds display, and keeping the window alive while the engine works.
#include "convert.h"
#include "copiedlist.h"
#include "forms.h"
#include "frmbase.h"
#include "logtext.h"
#include "messagebox.h"
#include "paths.h"
#include "pathtext.h"
#include "textlabel.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <atomic>

namespace {

constexpr int kYieldMilliseconds = 20;
constexpr int kYieldsPerClockCheck = 8;
constexpr int kPumpsPerRefresh = 5;

} // namespace

bool frmBase::runActive() const
{
    return bEstimating || btnStop->isEnabled();
}

bool frmBase::bCheckJob(Job& job)
{
    auto refuse = [this](const QString& message, QWidget* focus) {
        nShowMessage(message, MB_OK, kCaption);
        if (focus)
            bSetFocus(focus);
        return false;
    };
    // Unattended, the messages go to the log, where a name is one of its
    // lines only with its control characters escaped.
    auto named = [this](const QString& path) { return bBatch ? fromPath(logName(toPath(path))) : path; };
    // A path that names a shortcut ("NAME" for the link "NAME.lnk") may be
    // replaced by the shortcut's target, when the user agrees.
    auto followShortcut = [this, &named](QString& path, QComboBox* combo) {
        if (bIsFolder(toPath(path)))
            return;
        const QString target = fromPath(ShortcutTarget(toPath(path)));
        if (target.isEmpty())
            return;
        if (nShowMessage(named(path) + QStringLiteral("はショートカットのようです。") + named(target)
                    + QStringLiteral("に置き換えてよいですか？"),
                MB_YESNO, kCaption)
            == IDYES) {
            path = target;
            combo->setEditText(target);
        }
    };

    if (cmbSrc->currentText().isEmpty())
        return refuse(QStringLiteral("コピー元を指定して下さい"), cmbSrc);
    job.strSrc = cmbSrc->currentText().trimmed();
    followShortcut(job.strSrc, cmbSrc);
    if (cmbDst->currentText().isEmpty())
        return refuse(QStringLiteral("コピー先を指定して下さい"), cmbDst);
    job.strDst = cmbDst->currentText().trimmed();
    followShortcut(job.strDst, cmbDst);

    if (chkMakeDir->isChecked()) {
        QString folder;
        if (!bIsRootPath(toPath(job.strSrc))) {
            folder = fromPath(FileNamePart(toPath(job.strSrc)));
            if (!bIsRootPath(toPath(job.strDst)) && fromPath(FileNamePart(toPath(job.strDst))) == folder
                && nShowMessage(QStringLiteral("オプションで、コピー先フォルダの下に") + named(folder)
                           + QStringLiteral("を作るように指定されていますが\r\nコピー先が、")
                           + named(fromPath(AddBackslash(toPath(job.strDst))) + folder)
                           + QStringLiteral("になってもよいですか？"),
                       MB_YESNO, kCaption)
                    != IDYES)
                return false;
        }
        job.strDst = fromPath(AddBackslash(toPath(job.strDst))) + folder;
    }

    job.bSubDir = chkSubDir->isChecked();
    job.dbIgnSec = 0;
    if (chkIgn->isChecked()) {
        const std::string text = editIgn->text().toStdString();
        if (!text.empty() && !bIsNumeric(text))
            return refuse(QStringLiteral("誤差を数値で入力して下さい。"), editIgn);
        job.dbIgnSec = dbToDouble(text);
    }
    if (chkFilter->isChecked() && nExtFilterKind == 0)
        return refuse(QStringLiteral("拡張子フィルタを設定して下さい。"), btnFilter);
    return true;
}

void frmBase::ResetRunDisplay(bool bCopy)
{
    lbMsg->clear();
    nCopyCount = 0;
    lbCopyNum->setText(QStringLiteral("0"));
    nCheckCount = 0;
    lbCheckNum->setText(QStringLiteral("0"));
    lbCheckFile->clear();
    lstCopied->lines().clear();
    QPalette colours = lstCopied->palette();
    colours.setColor(QPalette::Base, palette().color(bCopy ? QPalette::Base : QPalette::Button));
    lstCopied->setPalette(colours);
    lbSec->setText(QStringLiteral("0"));
    dtStart = DateTime::now();
    Timer1->start();
    if (bCopy)
        btnStop->setEnabled(true);
}

void frmBase::Timer1_Timer()
{
    lbSec->setText(QString::number(DateTime::now().unixSeconds() - dtStart.unixSeconds()));
}

bool frmBase::beginRun(Job& job)
{
    if (running_)
        return false;
    // Taken before anything lets the window work (the flush, the checks'
    // questions), so that no second start can slip in.
    running_ = true;
    nFlushInputMessages(this);
    if (!bCheckJob(job)) {
        running_ = false;
        return false;
    }
    return true;
}

std::int32_t frmBase::runEngine(const Job& job)
{
    if (chkFilter->isChecked())
        cpMan->SetExtFilter(nExtFilterKind, strExtFilter.toStdString());
    else
        cpMan->ResetExtFilter();
    sinceYield_.start();
    return cpMan->CopyNews(toPath(job.strSrc), toPath(job.strDst), job.dbIgnSec, job.bSubDir);
}

bool frmBase::endRun()
{
    refreshRunDisplay();
    // The run's last figures are told before the summary comes up.
    for (TextLabel* display : { lbCheckNum, lbCopyNum, lbCheckFile, lbSec })
        display->announceNow();
    QApplication::restoreOverrideCursor();
    Timer1->stop();
    btnStop->setEnabled(false);
    lbMsg->clear();
    running_ = false;
    if (bClosePending) {
        UnloadAllForms(); // this window goes too: nothing of it may be touched after this
        return false;
    }
    return true;
}

void frmBase::btnStart_Click()
{
    lastRunResult_.reset();
    Job job;
    if (!beginRun(job))
        return;
    // Unattended, a source that is not there (a mount that failed) must not
    // pass for a night with nothing to copy.
    if (bBatch && !bIsFolder(toPath(job.strSrc))) {
        nShowMessage(QStringLiteral("コピー元フォルダ ") + fromPath(logName(toPath(job.strSrc)))
                + QStringLiteral(" が見つかりません。"),
            MB_ICONERROR, kCaption);
        running_ = false;
        return;
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    ResetRunDisplay(true);
    cpMan->SetSimulation(false);
    bEstimating = false;
    bSkipAll = bBatch;
    const std::int32_t result = runEngine(job);
    lastRunResult_ = result;
    if (!endRun())
        return;
    if (result >= 0)
        histories->bAddHistory(job.strSrc, job.strDst);

    QString summary;
    if (result == DiffCopy::kStopped)
        summary = QStringLiteral("コピーを中断しました。");
    else if (result == 0)
        summary = QStringLiteral("コピーが終了しました。");
    else
        summary = QStringLiteral("エラーのため、処理を中止しました。エラーコード：") + QString::number(result);
    summary += QStringLiteral("検査ファイル数： ") + QString::number(nCheckCount) + QStringLiteral(" コピーした数： ")
        + QString::number(nCopyCount);
    nShowMessage(summary, MB_ICONINFORMATION, kCaption);
}

void frmBase::btnStop_Click()
{
    nFlushInputMessages(this);
    if (nShowMessage(QStringLiteral("中断しますか"), MB_YESNO, QStringLiteral("コピー中断")) == IDYES)
        cpMan->StopCopy();
}

void frmBase::yieldToWindow()
{
    // The engine yields for every directory entry, a microsecond or so apart:
    // the clock is read only every so many yields.
    if (++yieldsSinceCheck_ < kYieldsPerClockCheck)
        return;
    yieldsSinceCheck_ = 0;
    if (sinceYield_.isValid() && sinceYield_.elapsed() < kYieldMilliseconds)
        return;
    // The window hears its buttons and timers at every pump; the counters and
    // the list, which cost a repaint, follow at every few pumps, still many
    // times a second.
    if (++pumpsSinceRefresh_ >= kPumpsPerRefresh) {
        pumpsSinceRefresh_ = 0;
        refreshRunDisplay();
    }
    if (nLogFile)
        nLogFile->flush();
    QCoreApplication::processEvents();
    sinceYield_.start();
}

void frmBase::waitForCopy(PendingCopy& copy)
{
    // Nobody watches a batch run's window: the run simply waits.
    if (bBatch)
        return;
    // The window keeps painting, ticking and hearing the Stop button until
    // the copy is over; the run itself still waits for it.
    refreshRunDisplay();
    std::atomic<bool> done { false };
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    copy.whenDone([&done, dispatcher] {
        done = true;
        dispatcher->wakeUp();
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    sinceYield_.start();
}

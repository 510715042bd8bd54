// Run control: checking the job, starting and stopping a copy run, the
// elapsed-seconds display, and keeping the window alive while the engine works.
#include "run/batchrun.h"
#include "copiedlist.h"
#include "desktop.h"
#include "engine/sourcecount.h"
#include "frmbase.h"
#include "run/runprogress.h"
#include "textlabel.h"
#include "util/convert.h"
#include "util/paths.h"
#include "util/qt/pathtext.h"
#include "util/ui/forms.h"
#include "util/ui/messagebox.h"

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

bool frmBase::runActive() const
{
    return bEstimating || btnStop->isEnabled();
}

namespace {

// Checking the job at the screen: refusals and questions as message boxes,
// the focus put on the control to mend.
class AtTheScreen : public JobDialogue {
public:
    AtTheScreen(frmBase& window, QWidget* source, QWidget* destination, QWidget* tolerance, QWidget* filter)
        : window_(window)
        , source_(source)
        , destination_(destination)
        , tolerance_(tolerance)
        , filter_(filter)
    {
    }
    void refuse(const std::string& message, Field field) override
    {
        window_.nShowMessage(QString::fromStdString(message), MB_OK, frmBase::kCaption);
        bSetFocus(control(field));
    }
    bool ask(const std::string& question) override
    {
        return window_.nShowMessage(QString::fromStdString(question), MB_YESNO, frmBase::kCaption) == IDYES;
    }
    void replaced(Field field, const std::string& target) override
    {
        if (auto* combo = qobject_cast<QComboBox*>(control(field)))
            combo->setEditText(QString::fromStdString(target));
    }

private:
    QWidget* control(Field field) const
    {
        switch (field) {
        case Field::Source:
            return source_;
        case Field::Destination:
            return destination_;
        case Field::Tolerance:
            return tolerance_;
        case Field::Filter:
            return filter_;
        }
        return nullptr;
    }

    frmBase& window_;
    QWidget* source_;
    QWidget* destination_;
    QWidget* tolerance_;
    QWidget* filter_;
};

} // namespace

std::optional<RunOrder> frmBase::bCheckJob()
{
    AtTheScreen dialogue(*this, cmbSrc, cmbDst, editIgn, btnFilter);
    return checkJob(job(), dialogue);
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
    runStarted_ = std::chrono::steady_clock::now();
    Timer1->start();
    if (bCopy)
        btnStop->setEnabled(true);
}

void frmBase::Timer1_Timer()
{
    lbSec->setText(QString::number(DateTime::now().unixSeconds() - dtStart.unixSeconds()));
    showProgress();
}

std::optional<RunOrder> frmBase::beginRun()
{
    if (running_)
        return std::nullopt;
    // Taken before anything lets the window work (the flush, the checks'
    // questions), so that no second start can slip in.
    running_ = true;
    // The run walks the source itself: a count under way is dropped.
    countDelay_->stop();
    sourceCount_.reset();
    ++countRound_;
    nFlushInputMessages(this);
    std::optional<RunOrder> order = bCheckJob();
    if (!order)
        running_ = false;
    return order;
}

std::int32_t frmBase::runEngine(const RunOrder& order)
{
    if (order.filterKind != 0)
        cpMan->SetExtFilter(order.filterKind, order.filterList);
    else
        cpMan->ResetExtFilter();
    const bool sizeKnown = counted_ && counted_->folder == order.source && counted_->subfolders == order.subfolders;
    meter_ = std::make_unique<ProgressMeter>(
        sizeKnown ? std::optional<SourceSize>(counted_->size) : std::nullopt, bEstimating);
    refresher_->start();
    const std::int32_t result = relay_->run(
        [&] { return cpMan->CopyNews(order.source, order.destination, order.toleranceSeconds, order.subfolders); });
    refresher_->stop();
    return result;
}

bool frmBase::endRun()
{
    refreshRunDisplay();
    // The run's last figures are told before the summary comes up.
    for (TextLabel* display : { lbCheckNum, lbCopyNum, lbCheckFile, lbSec })
        display->announceNow();
    QApplication::restoreOverrideCursor();
    Timer1->stop();
    meter_.reset();
    progressLine_.clear();
    runDoing_.clear();
    setWindowTitle(kCaption);
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
    const std::optional<RunOrder> order = beginRun();
    if (!order)
        return;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    ResetRunDisplay(true);
    cpMan->SetSimulation(false);
    bEstimating = false;
    bSkipAll = false;
    const std::int32_t result = runEngine(*order);
    if (!endRun())
        return;
    if (result >= 0)
        histories->bAddHistory(QString::fromStdString(order->source), QString::fromStdString(order->destination));

    tellRunEnded(copySummary(result, nCheckCount, nCopyCount));
}

void frmBase::tellDesktopIfUnseen(const QString& summary)
{
    // Somebody who turned to another window meanwhile learns of the end
    // without having to look for it.
    if (std::chrono::steady_clock::now() - runStarted_ >= longRun_ && !isActiveWindow()) {
        QApplication::alert(this);
        notifyDesktop(kCaption, summary);
    }
}

void frmBase::tellRunEnded(const QString& summary)
{
    tellDesktopIfUnseen(summary);
    nShowMessage(summary, MB_ICONINFORMATION, kCaption);
    QString line = summary;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    lbMsg->setText(QString::fromStdString(DateTimeText(DateTime::now())) + QLatin1Char(' ') + line);
}

void frmBase::setParallelCopies(int n)
{
    cpMan->setParallelCopies(n);
}

void frmBase::btnStop_Click()
{
    nFlushInputMessages(this);
    // The run waits for the answer.
    relay_->hold();
    if (nShowMessage(QStringLiteral("中断しますか"), MB_YESNO, QStringLiteral("コピー中断")) == IDYES)
        cpMan->StopCopy();
    relay_->release();
}

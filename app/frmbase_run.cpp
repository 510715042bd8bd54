// Run control: checking the job, starting and stopping a copy run, the
// elapsed-seconds display, and keeping the window alive while the engine works.
#include "desktop.h"
#include "engine/diffcopy.h"
#include "frmbase.h"
#include "run/runrelay.h"
#include "run/session.h"
#include "run/sourcecounter.h"
#include "runview.h"
#include "settings/store/histories.h"
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
    return session_->estimating() || btnStop->isEnabled();
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
    runView_->reset(bCopy);
    Timer1->start();
    if (bCopy)
        btnStop->setEnabled(true);
}

void frmBase::Timer1_Timer()
{
    runView_->tick();
}

std::optional<RunOrder> frmBase::beginRun()
{
    if (running_)
        return std::nullopt;
    // Taken before anything lets the window work (the flush, the checks'
    // questions), so that no second start can slip in.
    running_ = true;
    nFlushInputMessages(this);
    std::optional<RunOrder> order = bCheckJob();
    if (!order) {
        // A refused start changes nothing: the count goes on, or starts
        // when it was due meanwhile.
        running_ = false;
        sourceCounter_->resume();
        return order;
    }
    // The run walks the source itself: a count under way is dropped.
    sourceCounter_->cancel();
    return order;
}

void frmBase::runSession(const RunOrder& order, EstimateRun* estimate, std::function<void(const RunEnd& end)> ended)
{
    runView_->begin(sourceCounter_->sizeOf({ order.source, order.subfolders }));
    const CopySession::Mode mode = estimate ? CopySession::Mode::Estimate : CopySession::Mode::Copy;
    session_->keepReplaced = job().keep;
    session_->start(order, mode, histories.get(), estimate, std::move(ended));
}

bool frmBase::endRun()
{
    runView_->end();
    QApplication::restoreOverrideCursor();
    Timer1->stop();
    btnStop->setEnabled(false);
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
    runSession(*order, nullptr, [this](const RunEnd& end) {
        if (endRun())
            tellRunEnded(end.warning.isEmpty() ? end.summary : end.summary + QStringLiteral("\n\n") + end.warning);
    });
}

void frmBase::tellDesktopIfUnseen(const QString& summary)
{
    // Somebody who turned to another window meanwhile learns of the end
    // without having to look for it.
    if (runView_->lastedLong() && !isActiveWindow()) {
        QApplication::alert(this);
        notifyDesktop(kCaption, summary);
    }
}

void frmBase::tellRunEnded(const QString& summary)
{
    tellDesktopIfUnseen(summary);
    nShowMessage(summary, MB_ICONINFORMATION, kCaption);
    runView_->showEnded(summary);
}

void frmBase::setLongRun(std::chrono::seconds duration)
{
    runView_->setLongRun(duration);
}

void frmBase::setParallelCopies(int n)
{
    session_->engine().setParallelCopies(n);
}

void frmBase::btnStop_Click()
{
    nFlushInputMessages(this);
    // The run waits for the answer.
    session_->relay()->hold();
    runView_->setAsking(true);
    if (nShowMessage(QStringLiteral("中断しますか"), MB_YESNO, QStringLiteral("コピー中断")) == IDYES)
        session_->engine().StopCopy();
    runView_->setAsking(false);
    session_->relay()->release();
}

// The capacity estimate: a simulated run over the job that adds up the room
// the files to copy will take on the destination volume, shown in frmEst.
#include "engine/diffcopy.h"
#include "estimateview.h"
#include "frmbase.h"
#include "mainmenu.h"
#include "run/estimaterun.h"
#include "run/session.h"
#include "settings/store/histories.h"
#include "util/ui/messagebox.h"

#include <QApplication>

void frmBase::btnEst_Click()
{
    const std::optional<RunOrder> order = beginRun();
    if (!order)
        return;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    ResetRunDisplay(false);
    std::optional<EstimateRun> room = EstimateRun::of(order->destination, menu_->mnuOptKeep->isChecked());
    if (!room) {
        // Nothing runs; the folders are recorded as after an estimate that went through.
        session_->start(*order, CopySession::Mode::Estimate, histories.get(), nullptr, [this](const RunEnd& end) {
            nShowMessage(end.summary, MB_ICONERROR, kCaption);
            if (endRun())
                estimateView_->end();
        });
        return;
    }
    EstimateRun& estimate = estimateView_->begin(QString::fromStdString(order->destination), std::move(*room));
    runSession(*order, &estimate, [this](const RunEnd& end) {
        // The estimate window keeps the final figures.
        estimateView_->showChecked(end.checked, session_->engine().progress().bytesChecked);
        if (!endRun())
            return;
        if (end.result != 0)
            tellRunEnded(end.summary);
        else // the estimate window shows the result; the desktop hears of it all the same
            tellDesktopIfUnseen(end.summary);
        estimateView_->end();
    });
}

void frmBase::StopEstimate()
{
    session_->engine().StopCopy();
}

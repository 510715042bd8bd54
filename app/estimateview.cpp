#include "estimateview.h"

#include "frmest.h"
#include "run/runrelay.h"

EstimateView::EstimateView(std::function<void()> stop, RunRelay& relay)
    : stop_(std::move(stop))
    , relay_(relay)
{
}

EstimateView::~EstimateView()
{
    delete estimateWindow.data();
}

EstimateRun& EstimateView::begin(const QString& destination, EstimateRun estimate)
{
    if (!estimateWindow) {
        estimateWindow = new frmEst([this] { stop_(); });
        estimateWindow->setHoldWhileAsking([this](bool hold) {
            if (hold)
                relay_.hold();
            else
                relay_.release();
        });
    }
    estimateWindow->SetFreeTotal(destination, estimate.freeBytes(), estimate.totalBytes());
    estimateWindow->SetClusterBytes(estimate.clusterBytes());
    estimateWindow->show();
    estimate_ = std::move(estimate);
    estimate_->added = [this](const MeasuredFile& file, const EstimateSums& sums) { fileAdded(file, sums); };
    return *estimate_;
}

void EstimateView::showChecked(std::int32_t files, std::int64_t bytes)
{
    if (estimateWindow)
        estimateWindow->showChecked(files, bytes);
}

void EstimateView::end()
{
    if (estimateWindow)
        estimateWindow->SetState(1);
}

void EstimateView::fileAdded(const MeasuredFile& file, const EstimateSums& sums)
{
    if (!estimateWindow)
        return;
    estimateWindow->UpdateToCopy(sums.dbCopySum);
    if (file.dstBytes)
        estimateWindow->UpdateExist(sums.dbExistSum);
    estimateWindow->updatePeak(sums.peakSum);
    // Last: it lets the window work, and the estimate window may be closed then.
    estimateWindow->UpdateNeed(sums.dbNeedSum);
}

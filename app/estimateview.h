// The estimate window of the main window: opened when an estimate starts,
// following its sums file by file and its checked files at every tick, and
// kept open with the final figures when it ends.
#pragma once

#include "run/estimaterun.h"

#include <QPointer>
#include <cstdint>
#include <functional>
#include <optional>

class RunRelay;
class frmEst;
class QString;

class EstimateView {
public:
    // STOP is what the estimate window's stop button does; while it asks
    // whether to stop, RELAY holds the run.
    EstimateView(std::function<void()> stop, RunRelay& relay);
    // The estimate window calls back into the main window: it goes first.
    ~EstimateView();
    EstimateView(const EstimateView&) = delete;
    EstimateView& operator=(const EstimateView&) = delete;

    // An estimate of a run onto DESTINATION starts: the window shows the
    // volume's room, and follows ESTIMATE's sums. The view keeps ESTIMATE
    // until the next one starts.
    EstimateRun& begin(const QString& destination, EstimateRun estimate);
    // At every tick: the files checked and their bytes.
    void showChecked(std::int32_t files, std::int64_t bytes);
    // The estimate is over: the window keeps its figures.
    void end();

private:
    void fileAdded(const MeasuredFile& file, const EstimateSums& sums);

    std::function<void()> stop_;
    RunRelay& relay_;
    std::optional<EstimateRun> estimate_; // the estimate in progress, or the last one
    QPointer<frmEst> estimateWindow; // while it is open
};

// What the main window shows of a run: the counters, the file checked last,
// the list of copied files, the elapsed seconds, and the status line and the
// title with the progress line and what the run is doing or waiting for.
#pragma once

#include "engine/sourcecount.h"
#include "util/datetime.h"

#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class CopiedListView;
class CopySession;
class ProgressMeter;
class RunHeard;
class TextLabel;
class TextWidth;
class QWidget;

class RunView {
public:
    // The window's displays that follow a run.
    struct Displays {
        TextLabel* lbCheckNum;
        TextLabel* lbCheckFile;
        TextLabel* lbCopyNum;
        TextLabel* lbSec;
        CopiedListView* lstCopied;
        TextLabel* lbMsg;
    };

    // WINDOW shows SESSION's runs in DISPLAYS, under CAPTION.
    RunView(QWidget& window, const Displays& displays, const CopySession& session, QString caption);
    ~RunView();
    RunView(const RunView&) = delete;
    RunView& operator=(const RunView&) = delete;

    // The list's widest line so far, in twips: its horizontal extent.
    void setListWidth(std::int32_t twips);

    // A run starts: the displays are cleared, the list's background telling
    // a copy from an estimate, and the seconds count from now.
    void reset(bool copy);
    // The run's progress line is made from now on, against TOTAL, the
    // source's size when it is known; assistive tools hear that it started.
    void begin(std::optional<SourceSize> total);
    // The run is over: its last figures are shown and told to assistive
    // tools with the run's end, and the status line and the title are cleared.
    void end();

    // Once a second: the elapsed seconds and the progress line.
    void tick();
    // A file the run checked.
    void fileChecked(const std::string& pDst, const DateTime& dtFile, bool bCopied);
    // What the run is doing, for the status line.
    void showStatus(const QString& doing);
    // Whether the user is being asked something the run waits for.
    void setAsking(bool asking) { asking_ = asking; }
    // The line that stays on the status line once a run has ended with SUMMARY.
    void showEnded(const QString& summary);
    // Whether the run in progress, or the last one, has lasted long: as
    // long as a run whose end is worth telling somebody who looked away
    // (10 s, or as set).
    bool lastedLong() const;
    void setLongRun(std::chrono::seconds duration) { longRun_ = duration; }

    // Told at every tick of an estimate: the files checked and their bytes.
    std::function<void(std::int32_t files, std::int64_t bytes)> estimateChecked;

private:
    std::chrono::steady_clock::duration elapsed() const;
    // Takes the run's progress into the status line, the title and the estimate.
    void showProgress();
    void paintStatus();
    // The name of the progress bar that stands for the run.
    QString progressName() const;
    void setTitle(const QString& title);
    // Repaints the displays that follow the run's counters.
    void refresh();

    QWidget& window_;
    Displays displays_;
    const CopySession& session_;
    QString caption_;
    QTimer refresher_; // repaints the counters and the list a few times a second
    DateTime dtStart;
    std::chrono::steady_clock::time_point runStarted_ {};
    std::chrono::seconds longRun_ { 10 };
    std::int32_t nMaxTextWidth = 0; // twips
    std::unique_ptr<TextWidth> lineWidth_; // measures the lines of the list
    std::string checkedFile_; // the file checked last, as lbCheckFile shows it
    std::unique_ptr<ProgressMeter> meter_; // the run's progress line, while it runs
    std::unique_ptr<RunHeard> heard_; // what assistive tools hear of the run
    std::optional<std::int64_t> totalFiles_; // the source's files, when counted
    bool estimate_ = false; // the run is an estimate
    QString runDoing_; // what the run is doing, as the status line tells it
    QString progressLine_; // the run's last progress line
    QString waiting_; // what a run that has not got on for a while waits for
    bool asking_ = false;
};

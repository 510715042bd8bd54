// The progress line of a run: what it has done, how fast it copies, and how
// long it may still take, made anew about once a second while it runs.
#pragma once

#include "engine/diffcopy.h"
#include "engine/sourcecount.h"

#include <QString>
#include <cstdint>
#include <deque>
#include <optional>

// What the window reads off a run at one moment.
struct ProgressSample {
    double seconds = 0; // since the run started
    std::int64_t filesChecked = 0;
    RunProgress run;
};

class ProgressMeter {
public:
    // TOTAL: the source's size when it is known for this run's job; an
    // ESTIMATE copies nothing, so its line tells only what it has checked.
    ProgressMeter(std::optional<SourceSize> total, bool estimate);

    // The line for SAMPLE, which is later than the one before.
    QString update(const ProgressSample& sample);

    // How long the run has to go on, in seconds, when that can be told: the
    // share of the source done so far, by files or by bytes, whichever is
    // less, taken as the share of the time, once the run has gone on long
    // enough to say.
    std::optional<double> secondsLeft(const ProgressSample& sample) const;

private:
    // Bytes a second over the last few seconds.
    double speed(const ProgressSample& sample);

    std::optional<SourceSize> total_;
    bool estimate_;
    struct Point {
        double seconds;
        std::int64_t bytes;
    };
    std::deque<Point> recent_ { { 0, 0 } };
};

// A byte count for people to read: "512 B", "12.3 MB", "1.50 GB" (1,024 steps).
QString formatSize(std::int64_t bytes);

// A time left, rounded as people say it: "約 40 秒", "約 3 分", "約 1 時間 5 分".
QString formatTimeLeft(double seconds);

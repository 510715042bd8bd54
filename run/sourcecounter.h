// The size of the job's source, for the window's file count: counted on a
// thread of its own a moment after the source or the subfolder option last
// changed, so that typing a path does not start a count per key. The last
// complete count is kept with the job it counted, for the progress line of
// a run of that job.
#pragma once

#include "engine/sourcecount.h"

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class SourceCounter {
public:
    // The job to count when the delay is over: its folder and whether its
    // subfolders count, or nothing when there is nothing to count now.
    struct Job {
        std::string folder;
        bool subfolders = false;
    };
    using Due = std::function<std::optional<Job>()>;
    // Called on the thread that owns CONTEXT with a complete count's files.
    using Counted = std::function<void(std::int64_t files)>;

    SourceCounter(QObject& context, Due due, Counted counted);
    ~SourceCounter();
    SourceCounter(const SourceCounter&) = delete;
    SourceCounter& operator=(const SourceCounter&) = delete;

    // Forgets the last count, drops the one under way, and counts anew once
    // nothing has changed for a moment.
    void countSoon();
    // Drops the count under way and the one waiting to start; the last
    // complete count stays.
    void cancel();
    // Counts again soon when there is neither a complete count nor one
    // under way (the delay ended while counting was not wanted).
    void resume();

    // The source's size when the last complete count was of JOB.
    std::optional<SourceSize> sizeOf(const Job& job) const;

private:
    void count();

    QObject& context_;
    Due due_;
    Counted counted_;
    QTimer delay_;
    std::unique_ptr<SourceCount> count_; // the count under way, if any
    std::uint64_t round_ = 0; // tells the current count's result from a dropped one's
    std::optional<Job> job_; // what the last complete count counted
    SourceSize size_;
};

#include "sourcecounter.h"

SourceCounter::SourceCounter(QObject& context, Due due, Counted counted)
    : context_(context)
    , due_(std::move(due))
    , counted_(std::move(counted))
{
    delay_.setSingleShot(true);
    delay_.setInterval(300);
    QObject::connect(&delay_, &QTimer::timeout, &context_, [this] { count(); });
}

// A count under way reports to its context: it ends first.
SourceCounter::~SourceCounter() = default;

void SourceCounter::countSoon()
{
    count_.reset();
    job_.reset();
    ++round_;
    delay_.start();
}

void SourceCounter::cancel()
{
    delay_.stop();
    count_.reset();
    ++round_;
}

void SourceCounter::resume()
{
    if (!job_ && !count_ && !delay_.isActive())
        delay_.start();
}

std::optional<SourceSize> SourceCounter::sizeOf(const Job& job) const
{
    if (!job_ || job_->folder != job.folder || job_->subfolders != job.subfolders)
        return std::nullopt;
    return size_;
}

void SourceCounter::count()
{
    const std::optional<Job> job = due_();
    if (!job)
        return;
    const std::uint64_t round = ++round_;
    count_ = std::make_unique<SourceCount>(job->folder, job->subfolders, [this, round, job](const SourceSize& size) {
        QMetaObject::invokeMethod(
            &context_,
            [this, round, job, size] {
                if (round != round_)
                    return;
                job_ = job;
                size_ = size;
                counted_(size.files);
            },
            Qt::QueuedConnection);
    });
}

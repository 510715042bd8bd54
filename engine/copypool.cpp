#include "copypool.h"

#include <cerrno>
#include <exception>
#include <system_error>

CopyPool::CopyPool(int threads)
    : maxThreads_(threads < 1 ? 1 : threads)
{
}

CopyPool::~CopyPool()
{
    cancelQueued();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    queued_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

std::shared_ptr<CopyPool::Job> CopyPool::submit(std::int64_t size, std::function<CopyResult()> copy)
{
    std::shared_ptr<Job> job(new Job(*this, size, std::move(copy)));
    std::lock_guard<std::mutex> lock(mutex_);
    if (idleThreads_ == 0 && threads_.size() < static_cast<size_t>(maxThreads_)) {
        // Without a thread nothing would ever copy; with one, the copies
        // simply share it when the system refuses another.
        try {
            threads_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            if (threads_.empty())
                throw;
        }
    }
    queue_.push_back(job);
    if (idleThreads_ > 0)
        queued_.notify_one();
    return job;
}

bool CopyPool::isOver(const Job& job)
{
    return job.over();
}

bool CopyPool::waitFor(Job& job, std::chrono::milliseconds patience)
{
    if (job.over())
        return true;
    std::unique_lock<std::mutex> lock(mutex_);
    job.awaited_ = true;
    return finished_.wait_for(lock, patience, [&] { return job.over(); });
}

void CopyPool::waitFor(Job& job)
{
    if (job.over())
        return;
    std::unique_lock<std::mutex> lock(mutex_);
    job.awaited_ = true;
    finished_.wait(lock, [&] { return job.over(); });
}

void CopyPool::cancelQueued()
{
    std::deque<std::shared_ptr<Job>> cancelled;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled.swap(queue_);
        for (const std::shared_ptr<Job>& job : cancelled)
            job->copy_ = nullptr;
    }
    for (const std::shared_ptr<Job>& job : cancelled)
        job->end(Job::State::Cancelled);
}

bool CopyPool::runQueued(std::int64_t maxBytes, size_t keep)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (queue_.size() <= keep || queue_.back()->size_ > maxBytes)
        return false;
    std::shared_ptr<Job> job = std::move(queue_.back());
    queue_.pop_back();
    run(*job, lock);
    return true;
}

void CopyPool::hold()
{
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
}

void CopyPool::release()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = false;
    }
    queued_.notify_all();
}

void CopyPool::work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idleThreads_;
        queued_.wait(lock, [this] { return (!queue_.empty() && !held_) || closing_; });
        --idleThreads_;
        if (closing_)
            return;
        std::shared_ptr<Job> job = std::move(queue_.front());
        queue_.pop_front();
        run(*job, lock);
    }
}

void CopyPool::run(Job& job, std::unique_lock<std::mutex>& lock)
{
    job.state_ = Job::State::Running;
    std::function<CopyResult()> copy = std::move(job.copy_);
    lock.unlock();
    // A copy reports its failures as values; whatever escapes it anyway
    // (memory running out) is a failure of this file alone.
    try {
        job.result_ = copy();
    } catch (const std::exception& e) {
        job.result_ = { ENOTRECOVERABLE, e.what() };
    } catch (...) {
        job.result_ = { ENOTRECOVERABLE, {} };
    }
    copy = nullptr;
    job.end(Job::State::Done);
    lock.lock();
}

CopyPool::Job::Job(CopyPool& pool, std::int64_t size, std::function<CopyResult()> copy)
    : pool_(pool)
    , size_(size)
    , copy_(std::move(copy))
{
}

void CopyPool::Job::end(State state)
{
    state_.store(state);
    // Whoever set awaited_ before the store above is waiting under the mutex
    // or about to: taking the mutex here cannot miss them.
    if (!awaited_.load())
        return;
    {
        // Ordered after a waiter's look at the state, before its sleep.
        std::lock_guard<std::mutex> lock(pool_.mutex_);
    }
    pool_.finished_.notify_all();
}

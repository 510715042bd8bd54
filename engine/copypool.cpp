#include "copypool.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <iterator>
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

std::shared_ptr<CopyPool::Job> CopyPool::submit(std::int64_t size, std::function<CopyResult()> copy, const void* lane)
{
    std::shared_ptr<Job> job(new Job(*this, size, std::move(copy), lane));
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

void CopyPool::cancelQueued(const void* lane)
{
    std::deque<std::shared_ptr<Job>> cancelled;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!lane) {
            cancelled.swap(queue_);
        } else {
            const auto kept = std::stable_partition(
                queue_.begin(), queue_.end(), [lane](const std::shared_ptr<Job>& job) { return job->lane_ != lane; });
            std::move(kept, queue_.end(), std::back_inserter(cancelled));
            queue_.erase(kept, queue_.end());
        }
        for (const std::shared_ptr<Job>& job : cancelled)
            job->copy_ = nullptr;
    }
    for (const std::shared_ptr<Job>& job : cancelled)
        job->end(Job::State::Cancelled);
}

bool CopyPool::runQueued(std::int64_t maxBytes, size_t keep, const void* lane)
{
    std::unique_lock<std::mutex> lock(mutex_);
    // From the newest on, until more than KEEP of the lane's are seen.
    auto last = queue_.rend();
    size_t queued = 0;
    for (auto it = queue_.rbegin(); it != queue_.rend() && queued <= keep; ++it)
        if ((*it)->lane_ == lane && queued++ == 0)
            last = it;
    if (queued <= keep || (*last)->size_ > maxBytes)
        return false;
    std::shared_ptr<Job> job = std::move(*last);
    queue_.erase(std::next(last).base());
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
        const auto taken = next();
        std::shared_ptr<Job> job = std::move(*taken);
        queue_.erase(taken);
        run(*job, lock);
    }
}

std::deque<std::shared_ptr<CopyPool::Job>>::iterator CopyPool::next()
{
    auto best = queue_.begin();
    int fewest = running(queue_.front()->lane_);
    const void* lane = queue_.front()->lane_;
    for (auto it = queue_.begin(); it != queue_.end() && fewest > 0; ++it) {
        if ((*it)->lane_ == lane)
            continue; // the first copy of each lane is the one that counts
        lane = (*it)->lane_;
        if (const int n = running(lane); n < fewest) {
            best = it;
            fewest = n;
        }
    }
    return best;
}

int CopyPool::running(const void* lane) const
{
    for (const auto& [owner, count] : running_)
        if (owner == lane)
            return count;
    return 0;
}

void CopyPool::countRunning(const void* lane, int change)
{
    const auto counted
        = std::find_if(running_.begin(), running_.end(), [lane](const auto& entry) { return entry.first == lane; });
    if (counted == running_.end())
        running_.emplace_back(lane, change);
    else if ((counted->second += change) == 0)
        running_.erase(counted);
}

void CopyPool::run(Job& job, std::unique_lock<std::mutex>& lock)
{
    job.state_ = Job::State::Running;
    std::function<CopyResult()> copy = std::move(job.copy_);
    countRunning(job.lane_, 1);
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
    const void* const lane = job.lane_;
    job.end(Job::State::Done);
    lock.lock();
    countRunning(lane, -1);
}

CopyPool::Job::Job(CopyPool& pool, std::int64_t size, std::function<CopyResult()> copy, const void* lane)
    : pool_(pool)
    , size_(size)
    , lane_(lane)
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

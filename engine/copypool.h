// Copies files on threads of its own, so that a run can decide the next files
// while the last ones are still being copied. The run hands copies over in its
// walk order and takes their outcomes back in that order; the pool never
// raises an event and never decides anything. Each copy belongs to a lane (the
// destination folder it writes into): a free thread takes the first copy of
// the lane with the fewest copies running, so that the copies of two folders
// go on side by side rather than one folder's after the other's (creating and
// renaming in one folder are one at a time, and on a network share each is a
// round trip).
#pragma once

#include "filecopy.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CopyPool {
public:
    class Job;

    // Up to THREADS copies at once; the threads start with the first copy.
    explicit CopyPool(int threads);
    // Cancels the copies that have not started and waits for the others.
    ~CopyPool();
    CopyPool(const CopyPool&) = delete;
    CopyPool& operator=(const CopyPool&) = delete;

    // Queues COPY, of a file of SIZE bytes, into LANE behind the copies handed over before it.
    std::shared_ptr<Job> submit(std::int64_t size, std::function<CopyResult()> copy, const void* lane = nullptr);

    // Runs LANE's last queued copy on the calling thread, when more than KEEP
    // of its copies are queued and its file holds no more than MAX_BYTES;
    // false when none was run.
    bool runQueued(std::int64_t maxBytes, size_t keep, const void* lane = nullptr);

    // Whether JOB is over (done or cancelled), without waiting.
    static bool isOver(const Job& job);

    // Waits until JOB is over, for at most PATIENCE; true when it is.
    bool waitFor(Job& job, std::chrono::milliseconds patience);
    void waitFor(Job& job);

    // Cancels every queued copy that no thread has started yet; with LANE, only that lane's.
    void cancelQueued(const void* lane = nullptr);

    // While held, the pool's threads start no further copy; the copies they
    // have started go on.
    void hold();
    void release();

private:
    void work();
    // The queued copy a free thread takes next; the queue is not empty.
    std::deque<std::shared_ptr<Job>>::iterator next();
    // How many of LANE's copies are running.
    int running(const void* lane) const;
    // Counts CHANGE more (or fewer) of LANE's copies as running.
    void countRunning(const void* lane, int change);
    // Runs JOB, taken off the queue, on the calling thread; LOCK is released meanwhile.
    void run(Job& job, std::unique_lock<std::mutex>& lock);

    const int maxThreads_;
    std::mutex mutex_;
    std::condition_variable queued_; // a copy was queued, or the pool closes
    std::condition_variable finished_; // a copy that somebody awaits is over
    std::deque<std::shared_ptr<Job>> queue_;
    std::vector<std::thread> threads_;
    std::vector<std::pair<const void*, int>> running_; // the lanes with copies running, and how many
    int idleThreads_ = 0;
    bool held_ = false;
    bool closing_ = false;
};

class CopyPool::Job {
public:
    // The copy's outcome; only once it is over. A cancelled copy was never
    // started and has none.
    bool cancelled() const { return state_.load(std::memory_order_acquire) == State::Cancelled; }
    const CopyResult& result() const { return result_; }

private:
    friend class CopyPool;
    enum class State { Queued, Running, Done, Cancelled };

    Job(CopyPool& pool, std::int64_t size, std::function<CopyResult()> copy, const void* lane);
    bool over() const
    {
        const State state = state_.load(std::memory_order_acquire);
        return state == State::Done || state == State::Cancelled;
    }
    // Ends the copy in STATE; wakes whoever awaits it.
    void end(State state);

    CopyPool& pool_;
    const std::int64_t size_;
    const void* const lane_;
    std::function<CopyResult()> copy_; // guarded by the pool's mutex
    // Set once, by the thread that ends the copy; the result is written before.
    std::atomic<State> state_ { State::Queued };
    // Somebody waits for this copy: its end must then go through the pool's
    // mutex. Copies nobody waits for end without it.
    std::atomic<bool> awaited_ { false };
    CopyResult result_;
};

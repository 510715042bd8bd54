#include "engine/copypool.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace {

// How long a pool that ignored its hold is given to start a copy it should
// not. Such a pool starts it at once; a held pool never does, so this only
// adds time to a passing run and never decides one.
constexpr std::chrono::milliseconds kChance(100);

// A copy that tells which thread ran it.
struct TracedCopy {
    std::promise<std::thread::id> ranOn;
    std::future<std::thread::id> ran = ranOn.get_future();

    std::function<CopyResult()> copy()
    {
        return [this] {
            ranOn.set_value(std::this_thread::get_id());
            return CopyResult {};
        };
    }
};

// A copy that waits for a go-ahead, telling when it has started.
struct BlockedCopy {
    std::promise<void> started, go;

    std::function<CopyResult()> copy()
    {
        return [this] {
            started.set_value();
            go.get_future().wait();
            return CopyResult {};
        };
    }
};

} // namespace

// While held, the pool's thread starts none of the queued copies, whether it
// was copying when the hold came or had not started yet; released, it does.
TEST(CopyPoolHold, HeldThreadsStartNoCopyUntilReleased)
{
    for (const bool copyingWhenHeld : { true, false }) {
        SCOPED_TRACE(copyingWhenHeld ? "thread copying when held" : "no thread yet when held");
        BlockedCopy busy; // these outlive the pool, whose thread runs them
        TracedCopy first, second;
        CopyPool pool(1);
        std::shared_ptr<CopyPool::Job> running;
        if (copyingWhenHeld) {
            running = pool.submit(1, busy.copy());
            busy.started.get_future().wait();
        }
        pool.hold();
        const auto held = pool.submit(1, first.copy());
        pool.submit(1, second.copy());
        if (running) {
            busy.go.set_value();
            pool.waitFor(*running);
        }
        // The thread is free; were the hold ignored, it would start the first copy now.
        EXPECT_EQ(first.ran.wait_for(kChance), std::future_status::timeout);
        // Both copies are still queued: this thread takes the newest, one being left.
        EXPECT_TRUE(pool.runQueued(1, 1));
        EXPECT_EQ(second.ran.get(), std::this_thread::get_id());

        pool.release();
        ASSERT_TRUE(pool.waitFor(*held, std::chrono::seconds(10)));
        EXPECT_FALSE(held->cancelled());
        EXPECT_NE(first.ran.get(), std::this_thread::get_id());
    }
}

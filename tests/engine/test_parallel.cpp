#include "engine/copypool.h"
#include "engine/diffcopy.h"
#include "recorder.h"
#include "tests/support/testsupport.h"

#include <algorithm>
#include <cerrno>
#include <future>
#include <sys/stat.h>

using testsupport::namesIn;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

class SeveralCopies : public EngineTest {
protected:
    // "bad" cannot be copied: its destination is read-only and older.
    void fillWithOneBadFile(int files)
    {
        for (int i = 0; i < files; ++i)
            writeFile(src + "/f" + std::to_string(i), "new");
        writeFile(src + "/bad", "new", 2000);
        writeFile(dst + "/bad", "old", 1000);
        chmod((dst + "/bad").c_str(), 0444);
        engine.setParallelCopies(3);
    }

    // Files of DST holding what the run copies.
    size_t copiesIn(const std::string& folder)
    {
        const auto names = namesIn(folder);
        return std::count_if(names.begin(), names.end(),
            [&](const std::string& name) { return readFile(folder + "/" + name) == "new"; });
    }
};

// One copy that waits for a go-ahead, telling when it has started.
struct HeldCopy {
    std::promise<void> started, go;
    std::shared_future<void> goSignal = go.get_future().share();

    std::function<CopyResult()> copy()
    {
        return [this] {
            started.set_value();
            goSignal.wait();
            return CopyResult {};
        };
    }
};

} // namespace

TEST_F(SeveralCopies, EventsComeInWalkOrderAsWithOneCopyAtATime)
{
    // Files to copy, files already up to date and files that fail, in
    // folders at several depths.
    for (const std::string folder : { "", "/a", "/a/deep", "/b" })
        for (int i = 0; i < 90; ++i)
            writeFile(src + folder + "/f" + std::to_string(i), "new", 1700000000);
    const std::string dstOne = dir / "one", dstSeveral = dir / "several";
    for (const std::string& target : { dstOne, dstSeveral })
        for (int i = 0; i < 90; i += 3) {
            writeFile(target + "/a/f" + std::to_string(i), "new", 1700000000);
            writeFile(target + "/b/f" + std::to_string(i), "old", 1000);
            if (i % 2 == 0)
                chmod((target + "/b/f" + std::to_string(i)).c_str(), 0444);
        }

    engine.setParallelCopies(1);
    ASSERT_EQ(engine.CopyNews(src, dstOne, 0, true), 0);
    Recorder several;
    DiffCopy parallel(several);
    parallel.setParallelCopies(4);
    ASSERT_EQ(parallel.CopyNews(src, dstSeveral, 0, true), 0);

    ASSERT_EQ(several.events.size(), recorder.events.size());
    for (size_t i = 0; i < several.events.size(); ++i) {
        std::string expected = recorder.events[i];
        for (size_t at; (at = expected.find(dstOne)) != std::string::npos;)
            expected.replace(at, dstOne.size(), dstSeveral);
        ASSERT_EQ(several.events[i], expected) << "event " << i;
    }
    EXPECT_EQ(several.errors.size(), 15u);
    EXPECT_EQ(copiesIn(dstSeveral + "/b"), 75u);
}

TEST_F(SeveralCopies, AStopAnswerLeavesNoCopyUnreported)
{
    fillWithOneBadFile(300);
    recorder.replies = { ErrorReply::Stop };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), EACCES);
    EXPECT_EQ(recorder.only("copied ").size(), copiesIn(dst));
    EXPECT_EQ(readFile(dst + "/bad"), "old");
}

TEST_F(SeveralCopies, NoCopyStartsWhileTheUserIsAsked)
{
    fillWithOneBadFile(300);
    // Three copies at once: the run's thread is in the question, so at most
    // the two copying threads can still be finishing a copy.
    size_t copiedWhenAsked = 0;
    bool grewBeyondRunning = false;
    recorder.onError = [&](const std::string&) {
        copiedWhenAsked = copiesIn(dst);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        while (!grewBeyondRunning && std::chrono::steady_clock::now() < until)
            grewBeyondRunning = copiesIn(dst) > copiedWhenAsked + 2;
    };
    recorder.replies = { ErrorReply::Stop };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), EACCES);
    EXPECT_FALSE(grewBeyondRunning);
    EXPECT_LE(copiesIn(dst), copiedWhenAsked + 2);
}

TEST_F(SeveralCopies, ARetryAfterTheCauseIsMendedCopiesTheFileInItsPlace)
{
    fillWithOneBadFile(200);
    recorder.replies = { ErrorReply::Retry };
    recorder.onError = [](const std::string& target) { chmod(target.c_str(), 0644); };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(readFile(dst + "/bad"), "new");
    EXPECT_EQ(copiesIn(dst), 201u);
    const auto& events = recorder.events;
    const auto error = std::find_if(
        events.begin(), events.end(), [](const std::string& event) { return event.rfind("error ", 0) == 0; });
    ASSERT_NE(error, events.end());
    ASSERT_NE(error + 1, events.end());
    EXPECT_EQ(error[1], "copied " + src + "/bad -> " + dst + "/bad");
}

TEST(CopyPool, CancelsOnlyTheCopiesNotStarted)
{
    HeldCopy held; // outlives the pool, whose thread uses it
    CopyPool pool(1);
    auto running = pool.submit(1, held.copy());
    held.started.get_future().wait();
    bool ran = false;
    auto queued = pool.submit(1, [&] {
        ran = true;
        return CopyResult {};
    });
    pool.cancelQueued();
    EXPECT_TRUE(CopyPool::isOver(*queued));
    EXPECT_TRUE(queued->cancelled());
    EXPECT_FALSE(CopyPool::isOver(*running));
    held.go.set_value();
    pool.waitFor(*running);
    EXPECT_FALSE(running->cancelled());
    EXPECT_FALSE(ran);
}

TEST(CopyPool, RunsTheNewestSmallQueuedCopyOnTheCallingThread)
{
    HeldCopy held; // outlives the pool, whose thread uses it
    CopyPool pool(1);
    auto running = pool.submit(1, held.copy());
    held.started.get_future().wait();
    std::thread::id ranOn;
    auto small = [&] {
        ranOn = std::this_thread::get_id();
        return CopyResult { 7, "seven" };
    };
    pool.submit(10, small);
    auto large = pool.submit(2 << 20, small);
    EXPECT_FALSE(pool.runQueued(1 << 20, 0)); // the newest is too large
    auto newest = pool.submit(10, small);
    EXPECT_TRUE(pool.runQueued(1 << 20, 2));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    ASSERT_TRUE(CopyPool::isOver(*newest));
    EXPECT_EQ(newest->result().code, 7);
    EXPECT_FALSE(pool.runQueued(1 << 20, 2)); // two are kept for the copying thread
    EXPECT_FALSE(CopyPool::isOver(*large));
    held.go.set_value();
}

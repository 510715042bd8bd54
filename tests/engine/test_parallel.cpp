#include "engine/copypool.h"
#include "engine/diffcopy.h"
#include "recorder.h"
#include "tests/support/testsupport.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>

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

TEST(CopyPool, AFreeThreadTakesTheFolderWithFewerCopiesRunning)
{
    HeldCopy held;
    CopyPool pool(2);
    const int folderA = 0, folderB = 0;
    auto running = pool.submit(1, held.copy(), &folderA);
    held.started.get_future().wait();
    std::mutex mutex;
    std::vector<std::string> order;
    auto recording = [&](const char* name) {
        return [&, name] {
            std::lock_guard<std::mutex> lock(mutex);
            order.push_back(name);
            return CopyResult {};
        };
    };
    pool.hold();
    auto a2 = pool.submit(1, recording("a2"), &folderA);
    auto b1 = pool.submit(1, recording("b1"), &folderB);
    pool.release();
    pool.waitFor(*b1);
    pool.waitFor(*a2);
    EXPECT_EQ(order, (std::vector<std::string> { "b1", "a2" }));
    // Cancelling one folder's copies leaves the other's queued.
    pool.hold();
    auto a3 = pool.submit(1, recording("a3"), &folderA);
    auto b2 = pool.submit(1, recording("b2"), &folderB);
    pool.cancelQueued(&folderA);
    pool.release();
    pool.waitFor(*b2);
    EXPECT_TRUE(a3->cancelled());
    EXPECT_FALSE(b2->cancelled());
    held.go.set_value();
    pool.waitFor(*running);
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

TEST_F(SeveralCopies, AStopLeavesNoCopyOfTheNextFolderUnreported)
{
    // The next folder's copies begin while "bad" is on its way; the first two
    // copies to start, "bad" and one of the next folder's, wait for each other,
    // so that one of those is certain to have begun when the user stops.
    writeFile(src + "/bad", "new", 2000);
    writeFile(dst + "/bad", "old", 1000);
    chmod((dst + "/bad").c_str(), 0444);
    for (int i = 0; i < 30; ++i)
        writeFile(src + "/next/f" + std::to_string(i), "new");
    std::mutex mutex;
    std::condition_variable bothStarted;
    int started = 0;
    engine.setBeforeCopy([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (++started == 2)
            bothStarted.notify_all();
        bothStarted.wait_for(lock, std::chrono::seconds(10), [&] { return started >= 2; });
    });
    engine.setParallelCopies(3);
    recorder.replies = { ErrorReply::Stop };

    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), EACCES);
    const auto copied = recorder.only("copied ");
    EXPECT_GE(copied.size(), 1u);
    EXPECT_EQ(copied.size(), copiesIn(dst + "/next"));
    EXPECT_EQ(namesIn(dst + "/next").size(), copied.size()); // no temporary left
    const auto& events = recorder.events;
    const auto searching = std::find(events.begin(), events.end(), "searching " + src + "/next");
    ASSERT_NE(searching, events.end());
    EXPECT_EQ(events.at(2).rfind("error " + src + "/bad", 0), 0u) << events.at(2);
    EXPECT_LT(std::find(events.begin(), events.end(), copied.front()), events.end());
    EXPECT_LT(searching, std::find(events.begin(), events.end(), copied.front()));
}

TEST_F(SeveralCopies, AFolderEndedEarlyLeavesTheNextOneWhole)
{
    // The first folder walked ends at its first report (a handler fails, and
    // the reply is none of the protocol's) while the other, made ready beside
    // it, still has its copies queued: the copying thread copies its first
    // file once both destination folders are made, and takes no other copy
    // before the first folder has ended.
    for (const std::string folder : { "/a", "/b" })
        for (int i = 0; i < 40; ++i)
            writeFile(src + folder + "/f" + std::to_string(i), "new");
    std::mutex mutex;
    std::condition_variable ended;
    std::string failedIn; // the folder that ended
    int copyingThreadCalls = 0;
    const auto runThread = std::this_thread::get_id();
    engine.setBeforeCopy([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (std::this_thread::get_id() == runThread)
            return;
        if (++copyingThreadCalls > 1) {
            ended.wait_for(lock, std::chrono::seconds(10), [&] { return !failedIn.empty(); });
            return;
        }
        lock.unlock();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        struct stat st;
        while ((stat((dst + "/a").c_str(), &st) != 0 || stat((dst + "/b").c_str(), &st) != 0)
            && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    recorder.onFileChecked = [&](const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex);
        if (failedIn.empty()) {
            failedIn = path.substr(0, path.rfind('/'));
            ended.notify_all();
            throw std::runtime_error("handler failed");
        }
    };
    recorder.defaultReply = static_cast<ErrorReply>(0);
    engine.setParallelCopies(2);

    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    const std::string whole = failedIn == src + "/a" ? "/b" : "/a";
    EXPECT_EQ(copiesIn(dst + whole), 40u);
    EXPECT_EQ(recorder.only("copied " + src + whole + "/").size(), 40u);
    EXPECT_EQ(recorder.only("copied ").size(), copiesIn(dst + "/a") + copiesIn(dst + "/b"));
}

// Runs the copy engine on a thread of its own for the window, so that a file
// system that stops answering (a share whose server is gone) never holds up
// the window's thread, and hands the engine's events to the window's thread
// in walk order. The window's thread goes on with its own event loop
// meanwhile: it paints, ticks, hears Stop and asks about copy errors while
// the run waits for the answer, and it hears of the run's end once the run
// and all its events are over.
#pragma once

#include "engine/listener.h"
#include "estimate.h"
#include "runface.h"

#include <QObject>
#include <QTimer>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

class RunRelay : public DiffCopyListener {
public:
    // WINDOW gets the events, on the thread that makes the relay.
    explicit RunRelay(RunFace& window);
    ~RunRelay() override;
    RunRelay(const RunRelay&) = delete;
    RunRelay& operator=(const RunRelay&) = delete;

    // For the next run: MEASURE is called on the run's thread for every file
    // the run would copy, and MEASURED on the window's thread with what it
    // found, right after that file's event. Nothing measures after that run.
    using Measure = std::function<std::optional<MeasuredFile>(const std::string& src, const std::string& dst)>;
    using Measured = std::function<void(const MeasuredFile&)>;
    void measureFiles(Measure measure, Measured measured);

    // AFTER_FILE runs on the run's thread after each file's event is on its way.
    void setAfterFile(std::function<void()> afterFile) { afterFile_ = std::move(afterFile); }

    // Starts WORK (the engine's run, whose listener is this relay) on a
    // thread of its own and returns at once; DONE gets its result on the
    // window's thread once every event has been handed on. One run at a time.
    void start(std::function<std::int32_t()> work, std::function<void(std::int32_t result)> done);

    // Hands the events posted so far to the window at its next turn, without
    // gathering more; from any thread.
    void deliverPosted();

    // While held, the run goes no further than its next event (copies under
    // way go on): nothing moves while the user is asked whether to stop.
    void hold();
    void release();

    // The engine's events, on the run's thread.
    void FileChecked(const std::string& pSrc, const std::string& pDst, const DateTime& dtFile, bool bCopied) override;
    void FolderSearching(const std::string& pPath) override;
    void FolderSearched(const std::string& pPath) override;
    void FolderAlreadyCopied(const std::string& pSrc, const std::string& firstDst) override;
    void ErrorDetected(
        const std::string& strSrc, const std::string& strDst, const std::string& strErr, ErrorReply& nOp) override;

private:
    struct Event {
        enum class Kind { Checked, Searching, Searched, AlreadyCopied, Error };
        Event(Kind kind, std::string first, std::string second = {})
            : kind(kind)
            , first(std::move(first))
            , second(std::move(second))
        {
        }
        Kind kind;
        std::string first; // the source, or the folder
        std::string second; // the destination
        DateTime time;
        bool copied = false;
        // Files passed over in a row, folded into one event: the window is
        // told of each, under the last one's names.
        int files = 1;
        std::optional<MeasuredFile> measured;
        std::string error;
        ErrorReply reply {};
        bool answered = false;
    };

    // Queues EVENT for the window's thread, after waiting while held or
    // while the window is far behind.
    void post(std::shared_ptr<Event> event, std::unique_lock<std::mutex>& lock);
    // Hands the queued events to the window; on the window's thread.
    void deliver();
    void handOn(const std::shared_ptr<Event>& event);
    // Gives the run waiting on EVENT its answer.
    void answer(Event& event, ErrorReply reply);

    RunFace& window_;
    QObject context_; // lives on the window's thread: what the run posts to
    // Gathers the events of a short while into one delivery: woken for each
    // event, the window's thread would take the processor from the copies.
    QTimer deliveryTimer_;
    Measure measure_;
    Measured measured_;
    std::function<void()> afterFile_;
    std::mutex mutex_;
    std::condition_variable moved_; // events taken, an error answered, or released
    std::deque<std::shared_ptr<Event>> queue_;
    bool wakePosted_ = false;
    bool held_ = false;
    bool delivering_ = false;
    bool closing_ = false; // the relay goes: no question waits for an answer any more
    std::thread worker_; // the run in progress, or the last one
};

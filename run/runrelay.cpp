#include "runrelay.h"

namespace {

// The run waits when the window is this many events behind: memory stays
// bounded while the window's thread is busy (a dialog, a slow repaint).
constexpr size_t kMostQueued = 8192;

// How long the first event waits for others to come with it to the window.
constexpr int kGatherMilliseconds = 15;

} // namespace

RunRelay::RunRelay(RunFace& window)
    : window_(window)
{
    deliveryTimer_.setSingleShot(true);
    deliveryTimer_.setInterval(kGatherMilliseconds);
    QObject::connect(&deliveryTimer_, &QTimer::timeout, &context_, [this] { deliver(); });
}

RunRelay::~RunRelay()
{
    // A run still going (its owner has asked it to stop) may wait on a
    // question nobody will answer now: it is answered Stop.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        held_ = false;
    }
    moved_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void RunRelay::measureFiles(Measure measure, Measured measured)
{
    measure_ = std::move(measure);
    measured_ = std::move(measured);
}

void RunRelay::start(std::function<std::int32_t()> work, std::function<void(std::int32_t result)> done)
{
    if (worker_.joinable())
        worker_.join();
    worker_ = std::thread([this, work = std::move(work), done = std::move(done)] {
        const std::int32_t result = work();
        // Posted after every event of the run, so it comes after their delivery.
        QMetaObject::invokeMethod(
            &context_,
            [this, result, done] {
                deliver();
                worker_.join();
                measure_ = nullptr;
                measured_ = nullptr;
                done(result);
            },
            Qt::QueuedConnection);
    });
}

void RunRelay::deliverPosted()
{
    QMetaObject::invokeMethod(
        &context_, [this] { deliver(); }, Qt::QueuedConnection);
}

void RunRelay::hold()
{
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
}

void RunRelay::release()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = false;
    }
    moved_.notify_all();
}

void RunRelay::post(std::shared_ptr<Event> event, std::unique_lock<std::mutex>& lock)
{
    moved_.wait(lock, [this] { return closing_ || (!held_ && queue_.size() < kMostQueued); });
    queue_.push_back(std::move(event));
    if (wakePosted_)
        return;
    wakePosted_ = true;
    QMetaObject::invokeMethod(
        &context_,
        [this] {
            if (!deliveryTimer_.isActive())
                deliveryTimer_.start();
        },
        Qt::QueuedConnection);
}

void RunRelay::FileChecked(const std::string& pSrc, const std::string& pDst, const DateTime& dtFile, bool bCopied)
{
    // A file passed over changes no more than the window's count and the name
    // it shows next: one that follows another still queued joins it, which
    // spares a run where nothing changed an event per file.
    if (!bCopied) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!held_ && !queue_.empty() && queue_.back()->kind == Event::Kind::Checked && !queue_.back()->copied) {
            Event& last = *queue_.back();
            last.first.assign(pSrc);
            last.second.assign(pDst);
            last.time = dtFile;
            ++last.files;
            lock.unlock();
            if (afterFile_)
                afterFile_();
            return;
        }
    }
    auto event = std::make_shared<Event>(Event::Kind::Checked, pSrc, pDst);
    event->time = dtFile;
    event->copied = bCopied;
    if (bCopied && measure_)
        event->measured = measure_(pSrc, pDst);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        post(std::move(event), lock);
    }
    if (afterFile_)
        afterFile_();
}

void RunRelay::FolderSearching(const std::string& pPath)
{
    std::unique_lock<std::mutex> lock(mutex_);
    post(std::make_shared<Event>(Event::Kind::Searching, pPath), lock);
}

void RunRelay::FolderSearched(const std::string& pPath)
{
    std::unique_lock<std::mutex> lock(mutex_);
    post(std::make_shared<Event>(Event::Kind::Searched, pPath), lock);
}

void RunRelay::FolderAlreadyCopied(const std::string& pSrc, const std::string& firstDst)
{
    std::unique_lock<std::mutex> lock(mutex_);
    post(std::make_shared<Event>(Event::Kind::AlreadyCopied, pSrc, firstDst), lock);
}

void RunRelay::ErrorDetected(
    const std::string& strSrc, const std::string& strDst, const std::string& strErr, ErrorReply& nOp)
{
    auto event = std::make_shared<Event>(Event::Kind::Error, strSrc, strDst);
    event->error = strErr;
    event->reply = nOp;
    std::unique_lock<std::mutex> lock(mutex_);
    post(event, lock);
    // The run goes on only with the user's answer.
    moved_.wait(lock, [&] { return event->answered || closing_; });
    nOp = event->answered ? event->reply : ErrorReply::Stop;
}

void RunRelay::deliver()
{
    // A handler that lets the window's events be handled (the estimate
    // window lets its own work while it follows the sums) may come back
    // here: the events that come meanwhile wait for this delivery to go on
    // with them, in order.
    if (delivering_)
        return;
    delivering_ = true;
    for (;;) {
        std::deque<std::shared_ptr<Event>> events;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events.swap(queue_);
            wakePosted_ = false;
        }
        if (events.empty())
            break;
        moved_.notify_all();
        for (const auto& event : events)
            handOn(event);
    }
    delivering_ = false;
}

void RunRelay::handOn(const std::shared_ptr<Event>& shared)
{
    Event& event = *shared;
    switch (event.kind) {
    case Event::Kind::Checked:
        for (int file = 0; file < event.files; ++file)
            window_.FileChecked(event.first, event.second, event.time, event.copied);
        if (event.measured && measured_)
            measured_(*event.measured);
        return;
    case Event::Kind::Searching:
        window_.FolderSearching(event.first);
        return;
    case Event::Kind::Searched:
        window_.FolderSearched(event.first);
        return;
    case Event::Kind::AlreadyCopied:
        window_.FolderAlreadyCopied(event.first, event.second);
        return;
    case Event::Kind::Error:
        // A handler that fails cannot answer: the run stops, as the engine
        // takes any failure of its own asking.
        try {
            window_.ErrorDetected(
                event.first, event.second, event.error, [this, shared](ErrorReply reply) { answer(*shared, reply); });
        } catch (...) {
            answer(event, ErrorReply::Stop);
        }
        return;
    }
}

void RunRelay::answer(Event& event, ErrorReply reply)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (event.answered)
            return;
        event.reply = reply;
        event.answered = true;
    }
    moved_.notify_all();
}

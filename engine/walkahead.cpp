#include "walkahead.h"

#include "dstfolder.h"
#include "nametwins.h"
#include "util/paths.h"

#include <algorithm>
#include <atomic>
#include <system_error>

namespace {

// What was read ahead stands for the folder for this long: the walk reads a
// folder itself when it comes to it later (a run held by a question, or by a
// large copy).
constexpr std::chrono::seconds kFresh(2);
// The files of the folders read ahead and not taken yet, at most: the
// attributes of a few thousand files are a few hundred KiB.
constexpr size_t kFilesAhead = 4096;
// How often a walk waiting for a folder being read lets its caller look up.
constexpr std::chrono::milliseconds kWaitStep(10);
// With a warm cache two threads keep both cores busy, and more only take
// turns on them; threads beyond those are started once a read has been seen
// waiting on the disk (an entry that takes this long), where each keeps one
// more request in flight.
constexpr size_t kWarmThreads = 2;
constexpr std::chrono::microseconds kSlowEntry(20);

} // namespace

struct WalkAhead::Entry {
    enum class State { Queued, Reading, Done };
    Entry(std::string src, std::string dst)
        : src(std::move(src))
        , dst(std::move(dst))
    {
    }
    const std::string src, dst;
    State state = State::Queued; // guarded by the mutex
    std::unique_ptr<FolderAhead> result; // once done; nothing when the read failed
    std::atomic<bool> cancelled { false };
};

WalkAhead::WalkAhead(size_t folders, int threads, bool lookInDestination, const ExtFilter& filter)
    : maxFolders_(folders)
    , maxThreads_(static_cast<size_t>(std::max(threads, 1)))
    , lookInDestination_(lookInDestination)
    , filter_(filter)
{
}

WalkAhead::~WalkAhead()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        for (auto& [place, entry] : entries_)
            entry->cancelled = true;
        entries_.clear();
    }
    queued_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void WalkAhead::plan(const std::vector<Frame>& frames)
{
    std::lock_guard<std::mutex> lock(mutex_);
    WalkPlace place;
    for (auto frame = frames.rbegin(); frame != frames.rend(); ++frame) {
        for (size_t i = frame->next; i < frame->folders->size(); ++i) {
            if (!hasRoom())
                return;
            place = *frame->place;
            place.push_back(static_cast<std::uint32_t>(i));
            const std::string& name = (*frame->folders)[i];
            const auto known = entries_.find(place);
            if (known == entries_.end()) {
                if (!want(place, *frame->srcPrefix + name, *frame->dstPrefix + name))
                    return;
            } else if (known->second->result && !wantUnder(place, *known->second->result)) {
                return;
            }
        }
    }
}

std::unique_ptr<FolderAhead> WalkAhead::take(
    const WalkPlace& place, const std::string& src, const std::string& dst, const std::function<bool()>& keepWaiting)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (auto passed = entries_.begin(); passed != entries_.end() && passed->first < place;)
        drop(passed++);
    auto found = entries_.find(place);
    if (found == entries_.end())
        return nullptr;
    const std::shared_ptr<Entry> entry = found->second;
    // Rather than wait, the walk reads the first folder that nobody reads
    // yet itself: this one, when it is not begun, or one after it.
    while (entry->state != Entry::State::Done) {
        if (const auto next = firstQueued(); next != entries_.end()) {
            readQueued(next, lock, keepWaiting);
            continue;
        }
        if (done_.wait_for(lock, kWaitStep) == std::cv_status::no_timeout)
            continue;
        lock.unlock();
        const bool waiting = keepWaiting();
        lock.lock();
        if (!waiting) {
            found = entries_.find(place);
            if (found != entries_.end())
                drop(found);
            return nullptr;
        }
    }
    std::unique_ptr<FolderAhead> read = std::move(entry->result);
    found = entries_.find(place);
    if (found != entries_.end())
        drop(found);
    if (read)
        filesAhead_ -= read->listing.files.size();
    if (!read || read->src != src || read->dst != dst || std::chrono::steady_clock::now() - read->readAt > kFresh)
        return nullptr;
    return read;
}

std::unique_ptr<FolderAhead> WalkAhead::read(
    const std::string& src, const std::string& dst, const std::function<bool()>& keepGoing) const
{
    auto ahead = std::make_unique<FolderAhead>();
    ahead->src = src;
    ahead->dst = dst;
    struct stat& st = ahead->srcStat;
    if (lstat(src.c_str(), &st) != 0)
        return nullptr;
    ahead->srcIsLink = S_ISLNK(st.st_mode);
    if ((ahead->srcIsLink && stat(src.c_str(), &st) != 0) || !S_ISDIR(st.st_mode))
        return nullptr;
    // A failure is the walk's to report, in its turn: nothing of such a folder is kept.
    bool cut = false;
    if (ListFolder(src, ahead->listing, [&] { return !(cut = !keepGoing()); }) != 0 || cut)
        return nullptr;
    const std::vector<ListedFile>& files = ahead->listing.files;
    if (std::any_of(files.begin(), files.end(), [](const ListedFile& file) { return file.statError != 0; }))
        return nullptr;
    ahead->twins = twinGroups(files);
    // The files of a very large folder are looked up by the walk as it
    // decides them: the look-ups of them all would take much memory and would
    // not be fresh by the time the walk came to the last of them.
    if (lookInDestination_ && files.size() <= kFilesAhead) {
        const FolderFd folder = FolderFd::open(dst);
        struct stat dstStat;
        ahead->dstFound = folder.get() >= 0 && fstat(folder.get(), &dstStat) == 0;
        if (ahead->dstFound) {
            ahead->dstDev = dstStat.st_dev;
            ahead->dstIno = dstStat.st_ino;
            ahead->dstFiles.reserve(files.size());
            for (const ListedFile& file : files) {
                if (!keepGoing())
                    return nullptr;
                ahead->dstFiles.push_back(filter_.passesOver(ExtensionOf(file.name))
                        ? LookedUp { ENOENT, {} }
                        : LookedUp::of(folder.get(), file.name));
            }
        }
    }
    ahead->readAt = std::chrono::steady_clock::now();
    return ahead;
}

void WalkAhead::work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        const auto next = firstQueued();
        if (next != entries_.end()) {
            readQueued(next, lock, nullptr);
            continue;
        }
        if (closing_)
            return;
        ++idleThreads_;
        queued_.wait(lock);
        --idleThreads_;
    }
}

WalkAhead::Entries::iterator WalkAhead::firstQueued()
{
    return std::find_if(entries_.begin(), entries_.end(),
        [](const auto& entry) { return entry.second->state == Entry::State::Queued; });
}

void WalkAhead::readQueued(
    Entries::iterator queued, std::unique_lock<std::mutex>& lock, const std::function<bool()>& keepGoing)
{
    const WalkPlace place = queued->first;
    const std::shared_ptr<Entry> entry = queued->second;
    entry->state = Entry::State::Reading;
    lock.unlock();
    const auto begun = std::chrono::steady_clock::now();
    std::unique_ptr<FolderAhead> result = read(entry->src, entry->dst, [&entry, &keepGoing] {
        return !entry->cancelled.load(std::memory_order_relaxed) && (!keepGoing || keepGoing());
    });
    const auto took = std::chrono::steady_clock::now() - begun;
    lock.lock();
    entry->state = Entry::State::Done;
    if (result && took > kSlowEntry * (result->listing.files.size() + result->listing.folders.size() + 1))
        waitsOnDisk_ = true;
    if (!entry->cancelled && result) {
        filesAhead_ += result->listing.files.size();
        entry->result = std::move(result);
        wantUnder(place, *entry->result);
    }
    done_.notify_all();
}

bool WalkAhead::want(const WalkPlace& place, std::string src, std::string dst)
{
    if (!hasRoom())
        return false;
    entries_.emplace(place, std::make_shared<Entry>(std::move(src), std::move(dst)));
    if (idleThreads_ > 0 || threads_.size() >= (waitsOnDisk_ ? maxThreads_ : std::min(maxThreads_, kWarmThreads))) {
        queued_.notify_one();
        return true;
    }
    try {
        threads_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
        // Without a thread of its own, the folder is read by the walk.
    }
    return true;
}

bool WalkAhead::wantUnder(const WalkPlace& place, const FolderAhead& read)
{
    const std::string srcPrefix = AddBackslash(read.src);
    const std::string dstPrefix = AddBackslash(read.dst);
    WalkPlace below = place;
    below.push_back(0);
    for (size_t i = 0; i < read.listing.folders.size(); ++i) {
        below.back() = static_cast<std::uint32_t>(i);
        const std::string& name = read.listing.folders[i];
        const auto known = entries_.find(below);
        if (known == entries_.end()) {
            if (!want(below, srcPrefix + name, dstPrefix + name))
                return false;
        } else if (known->second->result && !wantUnder(below, *known->second->result)) {
            return false;
        }
    }
    return true;
}

bool WalkAhead::hasRoom() const
{
    return !closing_ && entries_.size() < maxFolders_ && filesAhead_ < kFilesAhead;
}

void WalkAhead::drop(Entries::iterator entry)
{
    entry->second->cancelled = true;
    if (entry->second->result)
        filesAhead_ -= entry->second->result->listing.files.size();
    entries_.erase(entry);
}

// The folders a run comes to next, read ahead of the walk on a few threads of
// their own. With a cold cache every listing and every look-up of a file
// waits on the disk, and a walk that asks one question at a time keeps one
// request in flight while the disk could answer many; with a warm cache the
// reading is most of a run where little changed, and shared out it keeps
// both cores busy. Only reading is done ahead: the walk still makes every
// folder, decides every file and raises every event in its own order, and
// whatever went wrong ahead is read again by the walk when it gets there, so
// that it is asked about in its turn.
#pragma once

#include "dstindex.h"
#include "extfilter.h"
#include "listing.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unordered_map>
#include <vector>

// Where a folder comes in the walk: its position among its parent's
// subfolders, after those of the folders above it, from the top down (the
// top folder's place is empty). Places compare in walk order.
using WalkPlace = std::vector<std::uint32_t>;

// What was read of one folder ahead of the walk.
struct FolderAhead {
    std::string src, dst;
    struct stat srcStat { }; // the source folder, links followed
    bool srcIsLink = false; // its name is a link
    Listing listing; // its files, with their attributes, and its subfolders
    // Its files whose names differ only in letter case (twinGroups).
    std::unordered_map<std::string, std::vector<std::string>> twins;
    // The destination folder, when it was looked in, and what a look-up of
    // each of the listing's files found there, in listing order (a file that
    // the filter passes over is not looked up, and stands as missing).
    bool dstFound = false;
    dev_t dstDev = 0;
    ino_t dstIno = 0;
    std::vector<LookedUp> dstFiles;
    std::chrono::steady_clock::time_point readAt {};
};

class WalkAhead {
public:
    // One folder of the walk as it stands: its place, paths and subfolders,
    // and the first of those it has not gone into yet.
    struct Frame {
        const WalkPlace* place;
        const std::string* srcPrefix; // with the separator at the end
        const std::string* dstPrefix;
        const std::vector<std::string>* folders;
        size_t next;
    };

    // Reads up to FOLDERS folders ahead, holding the attributes of some
    // thousands of files at most, on up to THREADS threads. The destination
    // is looked in only with LOOK_IN_DESTINATION, and FILTER's files are not
    // looked up there.
    WalkAhead(size_t folders, int threads, bool lookInDestination, const ExtFilter& filter);
    // Stops the reading and waits for the reads under way.
    ~WalkAhead();
    WalkAhead(const WalkAhead&) = delete;
    WalkAhead& operator=(const WalkAhead&) = delete;

    // Reads ahead the folders that the walk, standing in FRAMES (the top
    // folder first), comes to next: in walk order, as far as their parents
    // have been read, while there is room.
    void plan(const std::vector<Frame>& frames);

    // What was read of the folder at PLACE, when it was read as SRC onto DST
    // a moment ago and completely; waits for a read under way, calling
    // KEEP_WAITING now and then (false gives up); meanwhile the calling
    // thread reads folders that nobody reads yet, this one among them
    // (calling KEEP_WAITING for every entry). Whatever was read of the folders before PLACE is dropped: the
    // walk has passed them.
    std::unique_ptr<FolderAhead> take(const WalkPlace& place, const std::string& src, const std::string& dst,
        const std::function<bool()>& keepWaiting);

private:
    struct Entry;
    using Entries = std::map<WalkPlace, std::shared_ptr<Entry>>;

    // Reads SRC onto DST while KEEP_GOING, which is asked for every entry
    // and every look-up; nothing when any of it failed or was cut short.
    std::unique_ptr<FolderAhead> read(
        const std::string& src, const std::string& dst, const std::function<bool()>& keepGoing) const;
    void work();
    // The first folder in walk order that nobody reads yet.
    Entries::iterator firstQueued();
    // Reads the folder QUEUED on the calling thread, LOCK released meanwhile,
    // while KEEP_GOING (if given).
    void readQueued(
        Entries::iterator queued, std::unique_lock<std::mutex>& lock, const std::function<bool()>& keepGoing);
    // Queues the folder at PLACE when there is room; false when there is none.
    bool want(const WalkPlace& place, std::string src, std::string dst);
    // Queues what is under the folder read at PLACE, as far as there is room
    // and its subfolders have been read: false when room ran out.
    bool wantUnder(const WalkPlace& place, const FolderAhead& read);
    bool hasRoom() const;
    void drop(Entries::iterator entry);

    const size_t maxFolders_;
    const size_t maxThreads_;
    const bool lookInDestination_;
    const ExtFilter filter_;
    std::mutex mutex_;
    std::condition_variable queued_; // a folder to read, or the end
    std::condition_variable done_; // a read ended
    Entries entries_; // the folders ahead: queued, being read, or read
    size_t filesAhead_ = 0; // the files of the folders read and not taken
    std::vector<std::thread> threads_;
    size_t idleThreads_ = 0;
    bool waitsOnDisk_ = false; // a read was seen to wait on the disk
    bool closing_ = false;
};

// The copy engine: brings a destination folder up to date with a source folder
// by copying the files that are missing at the destination or whose
// last-modified time in the source is later.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include "copypool.h"
#include "dstfolder.h"
#include "dstindex.h"
#include "extfilter.h"
#include "filecopy.h"
#include "listener.h"
#include "listing.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// How far a run has come, for a display.
struct RunProgress {
    std::int64_t bytesChecked = 0; // the sizes of the files reported so far
    // The data written so far: the files copied, and the copies under way as
    // far as they have come.
    std::int64_t bytesCopied = 0;
    // The largest file being copied now, when it is large enough to show
    // its own progress: its destination, its size and how far it has come.
    std::string largeFile;
    std::int64_t largeSize = 0;
    std::int64_t largeDone = 0;
};

class DiffCopy {
public:
    // Result of CopyNews when the run was interrupted.
    static constexpr std::int32_t kStopped = -1;
    // Error number of a failure that escaped one of the listener's handlers.
    static constexpr std::int32_t kHandlerFailure = ENOTRECOVERABLE;

    explicit DiffCopy(DiffCopyListener& listener);

    // Called at every point where the run lets the user interface work: for
    // every entry listed, before every file and before every subfolder. A
    // StopCopy made from it is seen right after it returns.
    void setYield(std::function<void()> yield);

    // Files are copied on up to N threads at once, the calling thread among
    // them, while the run decides the next ones; the events still come in walk
    // order. With 1, every file is copied on a thread of its own and the run
    // waits for each copy before it decides the next file, as a plain
    // sequential copy would. By default, one per processor core, 2 to 4.
    void setParallelCopies(int n);

    // Called on the copying thread as each copy starts.
    void setBeforeCopy(std::function<void()> beforeCopy);

    // Simulation mode: decide and report as a real run, but write nothing. Returns bMode.
    bool SetSimulation(bool bMode);

    // Kind 0 none, 1 include only, 2 exclude; the extensions separated by single
    // spaces. False, and the previous filter kept, for a kind above 2 or a blank list.
    bool SetExtFilter(std::int32_t nKind, const std::string& strExts);

    // No filter. Always true.
    bool ResetExtFilter();

    // Number of files in strSrc, and with bCheckDir in all its subfolders. No
    // filter applies and no event is raised; a stop request ends the count.
    std::int32_t CountFiles(const std::string& strSrc, bool bCheckDir);

    // One update run of strSrc onto strDst. A tolerance dbIgnSec above 0 passes
    // over files whose source is later by no more than that many seconds.
    // Returns 0 when the run went through, kStopped when it was interrupted, or
    // the error code that ended it.
    std::int32_t CopyNews(const std::string& strSrc, const std::string& strDst, double dbIgnSec, bool bSubDir);

    // Asks the run in progress to stop before its next file or subfolder.
    void StopCopy();

    // How far the run in progress (or the last one) has come. Safe to call
    // from any thread.
    RunProgress progress() const;

    // What the run is busy with: the folder it lists, or the destination
    // folder it decides and copies files into, and when it last got on (a
    // folder begun, a file reported). Safe to call from any thread.
    struct Activity {
        std::string folder;
        std::chrono::steady_clock::time_point since;
    };
    Activity activity() const;

    // Files of at least this many bytes show their own progress while copied.
    static constexpr std::int64_t kWatchedBytes = std::int64_t(4) << 20;

private:
    // A large file on its way, as progress() shows it.
    struct WatchedCopy {
        std::string dst;
        std::int64_t size = 0;
        std::atomic<std::int64_t> done { 0 };
    };
    // Copies FILE from SRC onto DST on a copying thread, after BEFORE; a
    // large one is watched from before BEFORE until the copy is over.
    CopyResult copyWatched(
        const std::string& src, const CopyTarget& dst, const ListedFile& file, const std::function<void()>& before);

    struct FolderId {
        dev_t dev;
        ino_t ino;
        bool operator==(const FolderId& other) const { return dev == other.dev && ino == other.ino; }
    };
    struct FolderIdHash {
        size_t operator()(const FolderId& id) const { return std::hash<ino_t>()(id.ino) * 31 + id.dev; }
    };

    struct FolderFiles;

    struct Run {
        double ignSec = 0;
        bool subDirs = false;
        uid_t euid = 0;
        // Every source folder walked so far, with the destination it was copied to.
        std::unordered_map<FolderId, std::string, FolderIdHash> walked;
        bool hasTopDst = false;
        FolderId topDst {};
        // The top destination as named; the run writes through the folder it
        // opened there, and looks now and then whether the name still leads
        // to it (a share unmounted, a folder moved away).
        std::string topPath;
        std::chrono::steady_clock::time_point anchorChecked {};
        // What each destination file system was found to do with new files.
        std::unordered_map<dev_t, std::int32_t> caps;
        bool distant = false; // the top destination is on a network share
        // Which destination file systems are network shares, and which of
        // them do not tell letter case apart.
        DstShares shares;
        // The folders the walk is in, from the top down: their subfolders,
        // and which of them the walk comes to next.
        struct Frame {
            std::string srcPrefix, dstPrefix;
            int dstFd; // the destination folder, open, or -1
            const std::vector<std::string>* folders;
            size_t next = 0;
        };
        std::vector<Frame> frames;
        std::unique_ptr<CopyPool> pool; // started with the run's first copy
        // The folder that the walk comes to next, made ready while the
        // copies of the one before it end; destroyed before the pool.
        std::unique_ptr<FolderFiles> ahead;
    };

    // The folder whose files are being decided.
    struct Folder {
        const std::vector<ListedFile>* sourceFiles = nullptr; // the source folder's files
        int dstFd = -1; // the destination folder, open, or -1
        bool dstEmpty = true; // no file of it can be found at the destination
        bool swept = false; // its stale temporaries were looked for
        // What its file system does with new files, once a copy needs to know.
        std::optional<std::int32_t> caps;
        // Whether the times its copies read back hold (CopyTarget::stampsHold).
        std::shared_ptr<std::atomic<bool>> stampsHold = std::make_shared<std::atomic<bool>>(false);
        // What is known of the destination folder's names, where it is on a network share.
        DstIndex index;
        // Names that differ only in letter case, by folded name; the copies
        // of such files handed over so far, and those that went through.
        std::unordered_map<std::string, std::vector<std::string>> twins;
        std::unordered_map<std::string, std::shared_ptr<CopyPool::Job>> twinCopies;
        std::unordered_set<std::string> twinsWritten;
    };

    // One file on its way: decided, perhaps being copied, its events not raised yet.
    struct Pending {
        ListedFile file;
        std::string srcPath, dstPath;
        std::shared_ptr<CopyPool::Job> copy; // the copy in progress
        std::int32_t code = 0;
        std::string text;
        bool copied = false;
        int decisions = 0; // how often it was decided, for one copy
    };

    // What the outcome of a file means for its folder.
    enum class FileEnd { Next, EndFolder, Stop };

    // A file's outcome for its folder, and what the folder returns: with Stop
    // the error code that ends the run, with EndFolder 0, with Next its result
    // so far (0, or the code of a file whose error got a reply outside the protocol).
    struct FileOutcome {
        FileEnd end = FileEnd::Next;
        std::int32_t result = 0;
    };

    // How an unexpected failure was answered.
    enum class Resolution { Retry, Continue, EndFolder, Stop };

    // The answer to a failure, and with Stop the error code that ends the run.
    struct Resolved {
        Resolution resolution;
        std::int32_t failure = 0;
    };

    // Walks SRC onto DST, the folder NAME in the destination folder PARENT_FD;
    // the top folder has no name and is opened by its path.
    std::int32_t processFolder(
        const std::string& src, const std::string& dst, const std::string& name, int parentFd, Run& run);
    // Decides and copies the files of one folder, from the first not yet
    // decided on. An end other than Next tells that the folder ends with the
    // result instead of going on to its subfolders.
    FileOutcome processFiles(FolderFiles& work, Run& run);
    // Makes the folder that the walk comes to after CURRENT ready, when nothing stands
    // in its way that would have to be asked about: its destination is made,
    // its source listed and its first files decided and handed over to be
    // copied, and nothing is reported yet.
    void prepareAhead(const FolderFiles& current, Run& run);
    // The folder made ready is not walked (the walk ended, or the folder
    // before it ended early): the copies that went through are reported with
    // the folder's events, the others are cancelled or waited for.
    void dropAhead(Run& run);
    // Decides P's file and, when it is to be copied, hands the copy to the pool.
    void start(Pending& p, Folder& folder, Run& run);
    // NAME's twins (names that differ only in case) that its file must not
    // be copied over: those listed before it, once their copies are over,
    // and those after it that this run has written; empty when there are none.
    std::vector<std::string> otherTwins(const std::string& name, Folder& folder, Run& run);
    // Waits for P's copy, if one is in progress, and takes its outcome.
    void finish(Pending& p, Run& run);
    // Raises P's events and follows the replies (a retry decides the file again).
    FileOutcome settle(Pending& p, Folder& folder, Run& run, const std::string& src, const std::string& dst);
    // The folder ends early: its copies (those in LANE) not started are
    // cancelled, the others waited for, and the files that went through are
    // still reported.
    void abandon(std::deque<Pending>& pending, Run& run, const void* lane);
    // Makes the destination folder DST with MAKE, asking again while it fails:
    // Continue when it is there, EndFolder when the folder is to be skipped, Stop.
    Resolution makeDestination(const std::string& src, const std::string& dst, const std::function<bool()>& make);
    // The destination folder NAME in PARENT_FD (-1: a folder not there).
    static OpenedFolder openBelow(int parentFd, const std::string& name, const Run& run);
    // Whether the top destination's name has been seen to lead elsewhere: at
    // once with NOW (as each folder begins), otherwise a few times a second at most.
    static bool anchorLost(Run& run, bool now = false);
    // Tells that the top destination has gone; the code the run ends with,
    // or nothing when a retry finds it back.
    std::optional<std::int32_t> destinationGone(const std::string& src, const std::string& dst, Run& run);
    // What FOLDER's file system does with new files, found out once per
    // file system and run.
    static std::int32_t capsOf(Folder& folder, Run& run);

    // Runs one step of a folder; a failure thrown from it, or from a handler
    // it calls, is reported as an unexpected failure of the folder.
    template <typename Step> Resolved guarded(const std::string& src, const std::string& dst, Step&& step);
    Resolved resolveFailure(const std::string& src, const std::string& dst, std::int32_t code, const std::string& text);

    // Asks the listener; a failure thrown by the handler itself is taken as Stop.
    ErrorReply ask(const std::string& src, const std::string& dst, const std::string& text);

    bool stopRequested();

    DiffCopyListener& listener_;
    std::function<void()> yield_;
    std::function<void()> beforeCopy_;
    int parallelCopies_;
    bool parallelCopiesSet_ = false; // by setParallelCopies, rather than from the processor count
    std::atomic<bool> stop_ { false };
    std::atomic<std::int64_t> bytesChecked_ { 0 };
    std::atomic<std::int64_t> bytesCopied_ { 0 }; // of the copies that went through
    mutable std::mutex activityMutex_;
    std::string busyFolder_; // guarded by activityMutex_
    std::chrono::steady_clock::time_point folderBegun_ {}; // guarded by activityMutex_
    std::atomic<std::chrono::steady_clock::rep> lastFile_ { 0 }; // when the last file was reported
    // A new folder to list or to copy into.
    void busyWith(const std::string& folder);
    // A file reported.
    void gotOn()
    {
        lastFile_.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    }
    mutable std::mutex watchedMutex_;
    std::vector<std::shared_ptr<WatchedCopy>> watched_; // the large copies under way
    bool simulation_ = false;
    ExtFilter filter_;
};

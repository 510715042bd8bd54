#include "diffcopy.h"

#include "copypool.h"
#include "decision.h"
#include "dstfolder.h"
#include "dstindex.h"
#include "extfilter.h"
#include "filecopy.h"
#include "listing.h"
#include "nametwins.h"
#include "sourcecount.h"
#include "staletemps.h"
#include "util/paths.h"
#include "util/qvubind.h"
#include "walkahead.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// A run walks the source depth first, files first. For each folder:
//   1. the destination folder is created if it is missing (never in simulation
//      mode, never for "/" or a mount point); one that cannot be made and is
//      skipped by the reply is passed over with everything under it;
//   2. FolderSearching, the listing, FolderSearched;
//   3. every file is decided and, when it is new or newer, copied, each
//      followed by FileChecked or, on failure, ErrorDetected and its reply;
//      the copies go to a pool of threads while the next files are decided,
//      and the events are raised on the run's thread in listing order, so a
//      listener sees what a one-file-at-a-time run would show it (except
//      that a stop finishes the copies already started, and reports them);
//   4. with subfolders on, each subfolder is walked completely, in listing
//      order, before the next one.
// While a folder's last copies are on their way, the folder the walk comes
// to next is made ready: its destination made, its source listed, its files
// decided and their copies begun, so that two folders' copies overlap (on a
// network share a folder takes its creations and renames one at a time).
// Its events wait for their turn. Whatever would have to be asked about
// (a failure, a link, a folder walked before) is left for the walk to meet.
// A non-zero result of any level ends the whole run and travels up unchanged.
// Each real folder (device and inode) is walked at most once per run: a link
// that leads back to one already walked, whether it closes a loop or fans out
// to the same folder again, is reported with the place the folder was copied
// to and passed over. The run's own top destination folder (a destination
// inside the source) is never walked, and without a word, since it is no part
// of the source. Below the top, a link in the destination tree is followed
// only when it belongs to the user running the program or to root.

namespace {

constexpr const char* kCreateError = "作成エラー";

// With several copies at once: the files a run has on their way at most, the
// largest file it copies on its own thread (a larger one would keep a window
// from working), and the copies it leaves queued for the copying threads.
constexpr size_t kCopiesAhead = 64;
constexpr std::int64_t kCopyInPlaceBytes = 1 << 20;
constexpr size_t kKeepQueued = 4;
// How much of a source is asked for before its copy on a cold cache; the
// system's own read-ahead follows a copy that reads on. Whether the cache is
// cold is looked at every so many copies.
constexpr std::int64_t kSourceAheadBytes = 1 << 20;
constexpr size_t kColdCheckEvery = 64;
// Copies at once onto a network share, where they wait on round trips rather
// than on a disk, unless set otherwise.
constexpr int kDistantCopies = 8;
// Folders read ahead of the walk, and the threads that read them: a disk
// with a cold cache answers several requests at once, and with a warm one
// the reading goes to the cores the walk leaves.
constexpr int kFoldersAhead = 32;
constexpr int kReadAheadThreads = 4;

// Copies at once: beyond four, they wait on the disk more than they gain.
int defaultParallelCopies()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 2u, 4u));
}

// Whether the process has read from a disk since BLOCKS was taken, which
// is taken anew. Reads a network share answers are not counted.
bool readFromDiskSince(long& blocks)
{
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return false;
    const bool read = blocks >= 0 && usage.ru_inblock > blocks;
    blocks = usage.ru_inblock;
    return read;
}

std::string systemMessage(int code)
{
    char buf[256];
    return strerror_r(code, buf, sizeof buf);
}

// How often a file is decided at most when other programs keep writing its
// destination meanwhile; then it is reported.
constexpr int kDecisions = 3;

// How often the run looks whether the top destination's name still leads to
// the folder it writes into: a look at the name costs little, but not nothing
// on a share.
constexpr std::chrono::milliseconds kAnchorCheckEvery(250);

// Whether PATH leads to the folder DEV and INO, as far as the system knows
// without asking a server.
bool leadsTo(const std::string& path, dev_t dev, ino_t ino)
{
    struct statx stx;
    if (statx(AT_FDCWD, path.c_str(), AT_STATX_DONT_SYNC, STATX_INO, &stx) != 0)
        return errno == ENOSYS;
    return makedev(stx.stx_dev_major, stx.stx_dev_minor) == dev && stx.stx_ino == ino;
}

// The mode a destination folder is made with for a source folder of mode
// SRC_MODE: the source's permission bits (the umask applies, as for cp), and
// the owner's read, write and search bits until its files are in.
mode_t writableMode(mode_t srcMode)
{
    return (srcMode & 0777) | S_IRWXU;
}

// Takes from the folder NAME in PARENT_FD (or at PATH, for the top one, with
// PARENT_FD -1) the owner's bits that its source of mode SRC_MODE lacks.
void narrowToSource(int parentFd, const std::string& name, const std::string& path, mode_t srcMode)
{
    const int dirFd = parentFd >= 0 ? parentFd : AT_FDCWD;
    const char* at = parentFd >= 0 ? name.c_str() : path.c_str();
    struct stat st;
    if (fstatat(dirFd, at, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
        fchmodat(dirFd, at, st.st_mode & 07777 & ~(S_IRWXU & ~srcMode), 0);
}

std::string foreignLinkText(const std::string& dst, uid_t owner)
{
    return "コピー先 " + dst + " は他のユーザー（ユーザーID " + std::to_string(owner)
        + "）が所有するシンボリックリンクのため使いません";
}

// What a look-up of the destination file found.
struct DestinationFile {
    // Its last-modified time, when it exists as a file that can be opened for reading.
    std::optional<std::int64_t> time;
    // Whether its size is the source's (where it exists as such a file).
    bool sameSize = true;
    // What the copy must still find there when it replaces it: a missing
    // file, or a replaceable one as it was; nothing when neither.
    std::optional<SeenDestination> seen;
    KnownDestination known() const
    {
        if (!seen)
            return KnownDestination::Unknown;
        return seen->exists ? KnownDestination::Replaceable : KnownDestination::Missing;
    }
};

// What the destination file NAME in the folder DIR_FD is, from what a look-up
// found, for a source of SIZE bytes.
DestinationFile destinationOf(
    int dirFd, const std::string& name, int error, const struct stat& st, uid_t euid, std::int64_t size)
{
    DestinationFile file;
    if (error != 0) {
        if (error == ENOENT)
            file.seen = SeenDestination {};
        return file;
    }
    if (S_ISDIR(st.st_mode))
        return file;
    if (S_ISREG(st.st_mode) && (st.st_mode & 0222)) {
        file.seen = SeenDestination { true, static_cast<std::int64_t>(st.st_size), st.st_mtim };
    }
    // The owner's read bit settles readability for the owner (an access list
    // cannot override it); anyone else asks the kernel.
    bool readable
        = (st.st_uid == euid && (st.st_mode & S_IRUSR)) || faccessat(dirFd, name.c_str(), R_OK, AT_EACCESS) == 0;
    if (readable) {
        file.time = static_cast<std::int64_t>(st.st_mtim.tv_sec);
        file.sameSize = static_cast<std::int64_t>(st.st_size) == size;
    }
    return file;
}

// Reads the source file's attributes again, for a retried decision.
ListedFile restat(const std::string& name, const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return { name, {}, {}, 0, errno };
    if (S_ISDIR(st.st_mode))
        return { name, {}, {}, 0, EISDIR };
    return { name, st.st_atim, st.st_mtim, st.st_size, 0 };
}

} // namespace

// The run's state and its steps, kept out of the header.
struct DiffCopy::Impl {
    explicit Impl(DiffCopyListener& listener)
        : listener_(listener)
        , parallelCopies_(defaultParallelCopies())
    {
    }

    std::int32_t copyNews(const std::string& src, const std::string& dst, double ignSec, bool subDirs);
    RunProgress progress() const;
    Activity activity() const;

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
        // The top source with every link resolved, and the top destination
        // as given: a link to a folder within the source is the real folder's.
        std::string topSrcReal, topDstGiven;
        // What each destination file system was found to do with new files.
        std::unordered_map<dev_t, std::int32_t> caps;
        bool distant = false; // the top destination is on a network share
        // Which destination file systems are network shares, and which of
        // them do not tell letter case apart.
        DstShares shares;
        // The folders the walk is in, from the top down: their subfolders,
        // and which of them the walk comes to next.
        struct Frame {
            WalkPlace place;
            std::string srcPrefix, dstPrefix;
            int dstFd; // the destination folder, open, or -1
            const std::vector<std::string>* folders;
            size_t next = 0;
        };
        std::vector<Frame> frames;
        // The folders the walk comes to next, read ahead of it: where the
        // run has subfolders to walk and its source is on a local disk.
        std::unique_ptr<WalkAhead> walkAhead;
        std::unique_ptr<CopyPool> pool; // started with the run's first copy
        // The folder that the walk comes to next, made ready while the
        // copies of the one before it end; destroyed before the pool.
        std::unique_ptr<FolderFiles> ahead;
        mode_t topSrcMode = 0;
        // Where the files this run replaces are kept, when they are.
        std::unique_ptr<RunVersions> versions;
        // Whether the run has lately read from a disk (its sources are not
        // in the cache), looked at every kColdCheckEvery copies decided.
        bool readsDisk = false;
        long blocksRead = -1;
        size_t copiesDecided = 0;
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
        // The folder that keeps the files replaced in it, once one is; or why
        // it could not be made.
        FolderFd keepFd;
        int keepError = 0;
    };

    // One file on its way: decided, perhaps being copied, its events not raised yet.
    struct Pending {
        ListedFile file;
        size_t position = 0; // in the folder's listing
        std::string srcPath, dstPath;
        std::shared_ptr<CopyPool::Job> copy; // the copy in progress
        std::int32_t code = 0;
        std::string text;
        bool copied = false;
        int decisions = 0; // how often it was decided, for one copy
        bool found = false; // counted among the files found at the destination
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

    // Walks SRC onto DST, the folder NAME in the destination folder PARENT_FD,
    // at PLACE in the walk; the top folder has no name and is opened by its path.
    std::int32_t processFolder(const std::string& src, const std::string& dst, const std::string& name, int parentFd,
        const WalkPlace& place, Run& run);
    // Starts reading ahead the folders that the walk comes to next.
    static void planAhead(Run& run);
    // What was read ahead of the folder at PLACE, SRC onto DST; nothing when
    // it was not, or not completely.
    std::unique_ptr<FolderAhead> readAhead(
        const WalkPlace& place, const std::string& src, const std::string& dst, Run& run);
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
    // Where the real folder goes that SRC, a link to a folder within the
    // source, leads to; nothing for a real folder or a link that leads out.
    static std::optional<std::string> linkedWithin(const std::string& src, const Run& run);
    // Tells that the top destination has gone; the code the run ends with,
    // or nothing when a retry finds it back.
    std::optional<std::int32_t> destinationGone(const std::string& src, const std::string& dst, Run& run);
    // What FOLDER's file system does with new files, found out once per
    // file system and run.
    static std::int32_t capsOf(Folder& folder, Run& run);
    // The folder that keeps the files replaced in FOLDER, the destination
    // folder of the file at DST_PATH; -1 with *ERROR set when it cannot be made.
    static int keepFolderFor(Folder& folder, const std::string& dstPath, Run& run, int& error);
    // Removes FOLDER's stale temporaries, and puts back files a killed copy
    // set aside, as a file system with CAPS allows; never a name its source has.
    static void sweep(Folder& folder, std::int32_t caps);

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
    int foldersAhead_ = kFoldersAhead;
    bool parallelCopiesSet_ = false; // by setParallelCopies, rather than from the processor count
    std::atomic<bool> stop_ { false };
    std::atomic<std::int64_t> bytesChecked_ { 0 };
    std::atomic<std::int64_t> bytesCopied_ { 0 }; // of the copies that went through
    std::atomic<std::int64_t> keptAside_ { 0 };
    std::atomic<std::int64_t> foundAtDestination_ { 0 };
    std::string keepRunName_; // empty: replaced files are not kept
    Retention retention_;
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

// One folder's files on their way through the run, with what the run knows of
// its destination; their copies are over before it is gone.
struct DiffCopy::Impl::FolderFiles {
    // READ: what was read of the folder ahead of the walk, if anything.
    FolderFiles(Run& run, std::string src, std::string dst, std::vector<ListedFile> listed, FolderFd dstFd,
        bool dstCreated, FolderAhead* read)
        : run(run)
        , srcPath(std::move(src))
        , dstPath(std::move(dst))
        , srcPrefix(AddBackslash(srcPath))
        , dstPrefix(AddBackslash(dstPath))
        , files(std::move(listed))
        , dstFolder(std::move(dstFd))
        , dstCreated(dstCreated)
    {
        // When the destination folder is new, or cannot be opened (missing in
        // simulation mode, or out of reach), no file of it can be found there.
        folder.dstFd = dstFolder.get();
        folder.sourceFiles = &files;
        folder.dstEmpty = dstCreated || dstFolder.get() < 0;
        folder.twins = read ? std::move(read->twins) : twinGroups(files);
        if (folder.dstEmpty)
            return;
        folder.index.open(folder.dstFd, files, run.shares);
        // What was looked up ahead holds only for the folder the walk opened.
        struct stat st;
        if (read && read->dstFound && fstat(folder.dstFd, &st) == 0 && st.st_dev == read->dstDev
            && st.st_ino == read->dstIno)
            folder.index.adopt(std::move(read->dstFiles), read->readAt);
    }
    ~FolderFiles()
    {
        if (pending.empty() || !run.pool)
            return;
        run.pool->cancelQueued(&folder);
        for (Pending& p : pending)
            if (p.copy)
                run.pool->waitFor(*p.copy);
    }
    FolderFiles(const FolderFiles&) = delete;
    FolderFiles& operator=(const FolderFiles&) = delete;

    // Makes P the next file to be decided, with its paths.
    void takeNext(Pending& p) const
    {
        p.file = files[next];
        p.position = next;
        p.decisions = 0;
        p.found = false;
        p.srcPath.assign(srcPrefix).append(p.file.name);
        p.dstPath.assign(dstPrefix).append(p.file.name);
    }

    Run& run;
    const std::string srcPath, dstPath; // as the walk names them
    const std::string srcPrefix, dstPrefix;
    std::vector<ListedFile> files;
    size_t next = 0; // the first file not decided yet
    FolderFd dstFolder;
    const bool dstCreated; // by this run
    mode_t srcMode = 0; // the source folder's
    // For a folder made ready ahead of the walk: its parent and its name
    // there, so that a folder made for nothing can be taken back.
    FolderFd parent;
    std::string name;
    Folder folder; // its address names the folder's copies in the pool
    std::deque<Pending> pending;
    // For a folder made ready ahead of the walk: what the walk would find out
    // before its events.
    FolderId id {};
    std::vector<std::string> subfolders;
};

DiffCopy::DiffCopy(DiffCopyListener& listener)
    : impl_(std::make_unique<Impl>(listener))
{
}

DiffCopy::~DiffCopy() = default;

void DiffCopy::setYield(std::function<void()> yield)
{
    impl_->yield_ = std::move(yield);
}

void DiffCopy::setParallelCopies(int n)
{
    impl_->parallelCopies_ = std::max(n, 1);
    impl_->parallelCopiesSet_ = true;
}

void DiffCopy::setFoldersAhead(int n)
{
    impl_->foldersAhead_ = std::max(n, 0);
}

void DiffCopy::setBeforeCopy(std::function<void()> beforeCopy)
{
    impl_->beforeCopy_ = std::move(beforeCopy);
}

void DiffCopy::setKeepReplaced(std::string runName, const Retention& retention)
{
    impl_->keepRunName_ = std::move(runName);
    impl_->retention_ = retention;
}

bool DiffCopy::SetSimulation(bool bMode)
{
    impl_->simulation_ = bMode;
    return bMode;
}

bool DiffCopy::SetExtFilter(std::int32_t nKind, const std::string& strExts)
{
    return impl_->filter_.set(nKind, strExts);
}

bool DiffCopy::ResetExtFilter()
{
    impl_->filter_.reset();
    return true;
}

std::int32_t DiffCopy::CountFiles(const std::string& strSrc, bool bCheckDir)
{
    impl_->stop_ = false;
    SourceSize found;
    try {
        const std::optional<SourceSize> size = countSource(
            strSrc, bCheckDir, [this] { return !impl_->stopRequested(); }, found);
        return static_cast<std::int32_t>(size ? size->files : 0);
    } catch (...) {
        return static_cast<std::int32_t>(found.files); // an unexpected failure leaves the count reached so far
    }
}

std::int32_t DiffCopy::CopyNews(const std::string& strSrc, const std::string& strDst, double dbIgnSec, bool bSubDir)
{
    return impl_->copyNews(strSrc, strDst, dbIgnSec, bSubDir);
}

void DiffCopy::StopCopy()
{
    impl_->stop_ = true;
}

RunProgress DiffCopy::progress() const
{
    return impl_->progress();
}

DiffCopy::Activity DiffCopy::activity() const
{
    return impl_->activity();
}

bool DiffCopy::Impl::stopRequested()
{
    if (yield_)
        yield_();
    return stop_.load(std::memory_order_relaxed);
}

ErrorReply DiffCopy::Impl::ask(const std::string& src, const std::string& dst, const std::string& text)
{
    ErrorReply reply {}; // none of the replies, until the handler stores one
    try {
        listener_.ErrorDetected(src, dst, text, reply);
    } catch (...) {
        return ErrorReply::Stop; // a handler that cannot answer cannot be asked again
    }
    return reply;
}

DiffCopy::Impl::Resolved DiffCopy::Impl::resolveFailure(
    const std::string& src, const std::string& dst, std::int32_t code, const std::string& text)
{
    switch (ask(src, dst, text)) {
    case ErrorReply::Stop:
        return { Resolution::Stop, code };
    case ErrorReply::Retry:
        return { Resolution::Retry };
    case ErrorReply::Skip:
    case ErrorReply::SkipAll:
        return { Resolution::Continue };
    default:
        return { Resolution::EndFolder };
    }
}

template <typename Step>
DiffCopy::Impl::Resolved DiffCopy::Impl::guarded(const std::string& src, const std::string& dst, Step&& step)
{
    for (;;) {
        std::int32_t code = 0;
        std::string text;
        try {
            code = step();
            if (code == 0)
                return { Resolution::Continue };
            text = systemMessage(code);
        } catch (const std::exception& e) {
            code = kHandlerFailure;
            text = e.what();
        } catch (...) {
            code = kHandlerFailure;
            text = systemMessage(kHandlerFailure);
        }
        const Resolved resolved = resolveFailure(src, dst, code, text);
        if (resolved.resolution != Resolution::Retry)
            return resolved;
    }
}

std::int32_t DiffCopy::Impl::copyNews(const std::string& src, const std::string& dst, double ignSec, bool subDirs)
{
    stop_ = false;
    bytesChecked_ = 0;
    bytesCopied_ = 0;
    keptAside_ = 0;
    foundAtDestination_ = 0;
    busyWith(src);
    if (!bIsFolder(src))
        return 0;
    Run run;
    run.ignSec = ignSec;
    run.subDirs = subDirs;
    run.euid = geteuid();
    if (!keepRunName_.empty() && !simulation_)
        pruneVersions(dst, retention_, std::time(nullptr));
    std::int32_t result = kHandlerFailure;
    try {
        result = processFolder(src, dst, std::string(), -1, WalkPlace(), run);
    } catch (const std::exception& e) {
        ask(src, dst, e.what());
    } catch (...) {
        ask(src, dst, systemMessage(kHandlerFailure));
    }
    dropAhead(run);
    return result;
}

DiffCopy::Impl::Resolution DiffCopy::Impl::makeDestination(
    const std::string& src, const std::string& dst, const std::function<bool()>& make)
{
    while (!make()) {
        switch (ask(src, dst, dst + kCreateError)) {
        case ErrorReply::Stop:
            return Resolution::Stop;
        case ErrorReply::Skip:
        case ErrorReply::SkipAll:
            return Resolution::EndFolder;
        default:
            break; // retry, and so any answer outside the protocol
        }
    }
    return Resolution::Continue;
}

std::int32_t DiffCopy::Impl::processFolder(const std::string& src, const std::string& dst, const std::string& name,
    int parentFd, const WalkPlace& place, Run& run)
{
    const bool top = name.empty();
    if (!top && anchorLost(run, true)) {
        if (const std::optional<std::int32_t> gone = destinationGone(src, dst, run))
            return *gone;
    }
    std::unique_ptr<FolderFiles> work;
    if (run.ahead && run.ahead->srcPath == src && run.ahead->dstPath == dst)
        work = std::move(run.ahead);
    else
        dropAhead(run);
    busyWith(src);
    const std::unique_ptr<FolderAhead> read = work || top ? nullptr : readAhead(place, src, dst, run);
    // Each step of the folder may fail; the reply decides whether the folder goes on.
    std::optional<std::int32_t> ending;
    auto step = [&](auto&& action) {
        const Resolved outcome = guarded(src, dst, action);
        if (outcome.resolution != Resolution::Continue)
            ending = outcome.resolution == Resolution::Stop ? outcome.failure : 0;
        return !ending;
    };
    auto searching = [&] {
        listener_.FolderSearching(src);
        return 0;
    };
    auto searched = [&] {
        listener_.FolderSearched(src);
        return 0;
    };

    if (work) {
        run.walked.emplace(work->id, dst);
        if (!step(searching) || !step(searched)) {
            abandon(work->pending, run, &work->folder);
            return *ending;
        }
    } else {
        // A link to a folder within the source does not take the place of
        // that folder, whichever the listing gives first: the real one is
        // copied at its own place, and the link is reported.
        if (top) {
            char* real = realpath(src.c_str(), nullptr);
            run.topSrcReal = real ? real : std::string();
            free(real);
            run.topDstGiven = dst;
        } else if (!read || read->srcIsLink) {
            if (const std::optional<std::string> real = linkedWithin(src, run)) {
                listener_.FolderAlreadyCopied(src, *real);
                return 0;
            }
        }
        struct stat st;
        // A folder gone since its parent was listed is passed over; one that is
        // there but out of reach (a path beyond the system's limit) is reported.
        bool reachable = read != nullptr;
        const Resolved looked = guarded(src, dst, [&] {
            if (read) {
                st = read->srcStat;
                return 0;
            }
            if (stat(src.c_str(), &st) == 0) {
                reachable = S_ISDIR(st.st_mode);
                return 0;
            }
            return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
        });
        if (looked.resolution == Resolution::Stop)
            return looked.failure;
        if (!reachable)
            return 0;
        if (top)
            run.topSrcMode = st.st_mode;
        const FolderId id { st.st_dev, st.st_ino };
        if (run.hasTopDst && id == run.topDst)
            return 0;
        // Each real folder is walked once per run, however many links lead to it.
        if (const auto walked = run.walked.find(id); walked != run.walked.end()) {
            listener_.FolderAlreadyCopied(src, walked->second);
            return 0;
        }
        // A destination folder made by this run holds none of the files yet.
        bool dstCreated = false;
        FolderFd dstFd;
        if (top) {
            if (!simulation_ && !bIsFolder(dst) && !bIsRootPath(dst)) {
                // Skipped, there is nothing left to go on to: the run ends
                // as a stopped one, not as one that went through.
                if (makeDestination(src, dst, [&] { return bMakeFolder(dst); }) != Resolution::Continue)
                    return kStopped;
                dstCreated = true;
                // Nothing is in it yet: it is narrowed to the source's bits now.
                struct stat fresh;
                if (stat(dst.c_str(), &fresh) == 0)
                    chmod(dst.c_str(), fresh.st_mode & writableMode(st.st_mode));
            }
            dstFd = FolderFd::open(dst);
            struct stat dstSt;
            if (dstFd.get() >= 0 && fstat(dstFd.get(), &dstSt) == 0) {
                run.topDst = { dstSt.st_dev, dstSt.st_ino };
                run.hasTopDst = true;
                run.topPath = dst;
                run.anchorChecked = std::chrono::steady_clock::now();
            }
            run.distant = dstFd.get() >= 0 && isDistantFolder(dstFd.get());
            if (!keepRunName_.empty() && !simulation_ && dstFd.get() >= 0)
                run.versions = std::make_unique<RunVersions>(dstFd.get(), keepRunName_, run.topSrcMode);
        } else {
            OpenedFolder opened = openBelow(parentFd, name, run);
            // A folder the walk must not enter is passed over on any reply but stop.
            while (opened.foreignLinkOwner) {
                const Resolved answer
                    = resolveFailure(src, dst, EACCES, foreignLinkText(dst, *opened.foreignLinkOwner));
                if (answer.resolution == Resolution::Stop)
                    return answer.failure;
                if (answer.resolution != Resolution::Retry)
                    return 0;
                opened = openBelow(parentFd, name, run);
            }
            if (opened.fd.get() < 0 && !simulation_) {
                const Resolution made = makeDestination(src, dst, [&] {
                    if (mkdirat(parentFd, name.c_str(), writableMode(st.st_mode)) == 0)
                        dstCreated = true;
                    else if (errno != EEXIST)
                        return false;
                    opened = openBelow(parentFd, name, run);
                    return opened.fd.get() >= 0;
                });
                if (made == Resolution::Stop)
                    return kStopped;
                // Skipped: the folder is passed over with everything under it (a name
                // the destination refuses, a file standing in the folder's place).
                if (made != Resolution::Continue)
                    return 0;
            }
            dstFd = std::move(opened.fd);
        }
        run.walked.emplace(id, dst);

        Listing listing;
        const bool listed = step(searching) && step([&] {
            if (read) {
                listing = std::move(read->listing);
                return 0;
            }
            listing = Listing();
            return ListFolder(src, listing, [this] { return !stopRequested(); });
        }) && step(searched);
        if (!listed)
            return *ending;
        // The kept versions at the top of a destination are no part of what
        // is copied there, nor is a folder of that name in a source, which
        // would land among them.
        if (top && !keepRunName_.empty()) {
            auto& folders = listing.folders;
            folders.erase(std::remove(folders.begin(), folders.end(), kVersionsFolder), folders.end());
            auto& files = listing.files;
            files.erase(std::remove_if(files.begin(), files.end(),
                            [](const ListedFile& file) { return file.name == kVersionsFolder; }),
                files.end());
        }
        busyWith(dst);
        work = std::make_unique<FolderFiles>(
            run, src, dst, std::move(listing.files), std::move(dstFd), dstCreated, read.get());
        work->srcMode = st.st_mode;
        if (run.subDirs)
            work->subfolders = std::move(listing.folders);
    }

    const std::string srcPrefix = work->srcPrefix;
    const std::string dstPrefix = work->dstPrefix;
    const std::vector<std::string> subfolders = std::move(work->subfolders);
    run.frames.push_back({ place, srcPrefix, dstPrefix, work->dstFolder.get(), &subfolders, 0 });
    struct FrameGuard {
        std::vector<Run::Frame>& frames;
        ~FrameGuard() { frames.pop_back(); }
    } frameGuard { run.frames };
    if (top && run.subDirs && foldersAhead_ > 0) {
        // Onto a network share the destination's names are known from its
        // listings (DstIndex); from a share, the walk reads the source itself.
        const FolderFd source = FolderFd::open(src);
        if (source.get() >= 0 && !isDistantFolder(source.get()))
            run.walkAhead = std::make_unique<WalkAhead>(
                static_cast<size_t>(foldersAhead_), kReadAheadThreads, !run.distant, filter_);
    }
    planAhead(run);

    // A folder made by this run gets what its source lacks of the owner's
    // bits once everything in it is done, however the folder ends.
    struct Narrowing {
        int parentFd;
        const std::string& name;
        const std::string& path;
        mode_t srcMode;
        bool made;
        ~Narrowing()
        {
            if (made && (srcMode & S_IRWXU) != S_IRWXU)
                narrowToSource(parentFd, name, path, srcMode);
        }
    } narrowing { parentFd, name, dst, work->srcMode, work->dstCreated };

    busyWith(dst);
    const FileOutcome filesOutcome = processFiles(*work, run);
    const FolderFd here = std::move(work->dstFolder); // its subfolders are opened in it
    work.reset();
    if (filesOutcome.end != FileEnd::Next)
        return filesOutcome.result;
    std::int32_t result = filesOutcome.result;
    WalkPlace below = place;
    below.push_back(0);
    for (size_t i = 0; i < subfolders.size(); ++i) {
        if (stopRequested())
            return kStopped;
        run.frames.back().next = i + 1;
        below.back() = static_cast<std::uint32_t>(i);
        result = processFolder(
            srcPrefix + subfolders[i], dstPrefix + subfolders[i], subfolders[i], here.get(), below, run);
        if (result != 0)
            return result;
    }
    return result;
}

OpenedFolder DiffCopy::Impl::openBelow(int parentFd, const std::string& name, const Run& run)
{
    if (parentFd < 0) {
        // Below a folder that is not there (in simulation mode) nothing is.
        OpenedFolder missing;
        missing.error = ENOENT;
        return missing;
    }
    return openDestinationFolder(parentFd, name, run.euid);
}

bool DiffCopy::Impl::anchorLost(Run& run, bool now)
{
    if (!run.hasTopDst)
        return false;
    const auto at = std::chrono::steady_clock::now();
    if (!now && at - run.anchorChecked < kAnchorCheckEvery)
        return false;
    run.anchorChecked = at;
    return !leadsTo(run.topPath, run.topDst.dev, run.topDst.ino);
}

std::optional<std::int32_t> DiffCopy::Impl::destinationGone(const std::string& src, const std::string& dst, Run& run)
{
    const std::string text = "コピー先 " + run.topPath
        + " が実行中に切り離されました（マウントが外れたか、フォルダが移動されました）。これ以上コピーできません";
    do {
        if (ask(src, dst, text) != ErrorReply::Retry)
            return ENOTCONN;
    } while (!leadsTo(run.topPath, run.topDst.dev, run.topDst.ino));
    return std::nullopt;
}

DiffCopy::Impl::FileOutcome DiffCopy::Impl::processFiles(FolderFiles& work, Run& run)
{
    const std::string src = RemoveBackslash(work.srcPrefix);
    const std::string dst = RemoveBackslash(work.dstPrefix);
    Folder& folder = work.folder;
    std::deque<Pending>& pending = work.pending;
    FileOutcome outcome; // the last file's, which the folder ends with
    // With several copies at once, the run goes on deciding while the copying
    // threads work, and copies small files itself rather than wait for them:
    // handing a file to another thread costs more than copying a small one,
    // so the run waits only when kCopiesAhead files are on their way, and
    // then until half of them are over.
    const bool several = parallelCopies_ > 1;
    const size_t inFlight = several ? kCopiesAhead : 1;
    // Where a share's listing showed leftovers of a killed run, they go even
    // when nothing of the folder is to be copied now, before any copy is on
    // its way into it.
    if (!simulation_ && !folder.swept && folder.index.temporariesListed())
        sweep(folder, capsOf(folder, run));

    // Takes a file's outcome; true when it ends the folder.
    auto endsFolder = [&](const FileOutcome& file) {
        outcome = file;
        if (file.end == FileEnd::Next)
            return false;
        abandon(pending, run, &folder);
        return true;
    };
    // Settles the first file on its way; true when that ends the folder.
    auto settleFront = [&] {
        const FileOutcome file = settle(pending.front(), folder, run, src, dst);
        pending.pop_front();
        return endsFolder(file);
    };
    // Settles, in walk order, the files at the front whose copies are over.
    auto settleOver = [&] {
        while (!pending.empty() && (!pending.front().copy || CopyPool::isOver(*pending.front().copy)))
            if (settleFront())
                return true;
        return false;
    };

    Pending current;
    for (; work.next < work.files.size(); ++work.next) {
        if (settleOver())
            return outcome;
        if (several && run.pool && run.pool->runQueued(kCopyInPlaceBytes, kKeepQueued, &folder) && settleOver())
            return outcome;
        if (pending.size() >= inFlight) {
            // The first file on its way is being copied (the others are
            // settled above), so this finds a copy.
            size_t half = inFlight / 2;
            while (!pending[half].copy)
                --half;
            run.pool->waitFor(*pending[half].copy);
            if (settleOver())
                return outcome;
        }
        if (stopRequested()) {
            abandon(pending, run, &folder);
            return { FileEnd::Stop, kStopped };
        }
        if (anchorLost(run)) {
            // While the user is asked, the copies queued wait, as for any error.
            if (run.pool)
                run.pool->hold();
            const std::optional<std::int32_t> gone = destinationGone(src, dst, run);
            if (run.pool) {
                if (gone)
                    run.pool->cancelQueued();
                run.pool->release();
            }
            if (gone) {
                abandon(pending, run, &folder);
                return { FileEnd::Stop, *gone };
            }
        }
        work.takeNext(current);
        start(current, folder, run);
        if (!pending.empty() || current.copy) {
            pending.push_back(std::move(current));
            continue;
        }
        // Nothing before it is still on its way: its events come at once.
        if (endsFolder(settle(current, folder, run, src, dst)))
            return outcome;
    }
    // The folder's last copies: the next folder's begin beside them, and the
    // run takes on those of this folder that no thread has started.
    if (several && !pending.empty()) {
        prepareAhead(work, run);
        busyWith(work.dstPath);
    }
    if (several && run.pool)
        while (run.pool->runQueued(kCopyInPlaceBytes, 0, &folder))
            ;
    while (!pending.empty())
        if (settleFront())
            return outcome;
    return outcome;
}

void DiffCopy::Impl::prepareAhead(const FolderFiles& current, Run& run)
{
    if (run.ahead || simulation_)
        return;
    const Run::Frame* frame = nullptr;
    for (auto it = run.frames.rbegin(); it != run.frames.rend() && !frame; ++it)
        if (it->next < it->folders->size())
            frame = &*it;
    if (!frame)
        return;
    const std::string& name = (*frame->folders)[frame->next];
    std::string src = frame->srcPrefix + name;
    std::string dst = frame->dstPrefix + name;
    busyWith(src);
    WalkPlace place = frame->place;
    place.push_back(static_cast<std::uint32_t>(frame->next));
    const std::unique_ptr<FolderAhead> read = readAhead(place, src, dst, run);
    struct stat st;
    if (read)
        st = read->srcStat;
    if (stopRequested() || (!read && (stat(src.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))))
        return;
    const FolderId id { st.st_dev, st.st_ino };
    if ((run.hasTopDst && id == run.topDst) || run.walked.count(id) || frame->dstFd < 0
        || ((!read || read->srcIsLink) && linkedWithin(src, run)))
        return;
    busyWith(dst);
    OpenedFolder opened = openBelow(frame->dstFd, name, run);
    bool dstCreated = false;
    if (opened.fd.get() < 0) {
        if (opened.error != ENOENT || mkdirat(frame->dstFd, name.c_str(), writableMode(st.st_mode)) != 0)
            return;
        dstCreated = true;
        opened = openBelow(frame->dstFd, name, run);
        if (opened.fd.get() < 0) {
            unlinkat(frame->dstFd, name.c_str(), AT_REMOVEDIR);
            return;
        }
    } else {
        // A destination reached through a link may be the very folder whose
        // copies are still landing: its files are decided once those are in.
        struct stat here;
        struct stat there;
        if (fstat(opened.fd.get(), &there) != 0 || fstat(current.folder.dstFd, &here) != 0
            || (here.st_dev == there.st_dev && here.st_ino == there.st_ino))
            return;
    }
    busyWith(src);
    Listing listing;
    if (read) {
        listing = std::move(read->listing);
    } else if (ListFolder(src, listing, [this] { return !stopRequested(); }) != 0) {
        if (dstCreated)
            unlinkat(frame->dstFd, name.c_str(), AT_REMOVEDIR);
        return;
    }
    busyWith(dst);
    auto work = std::make_unique<FolderFiles>(
        run, std::move(src), std::move(dst), std::move(listing.files), std::move(opened.fd), dstCreated, read.get());
    work->id = id;
    work->srcMode = st.st_mode;
    work->parent = FolderFd(fcntl(frame->dstFd, F_DUPFD_CLOEXEC, 0));
    work->name = name;
    if (run.subDirs)
        work->subfolders = std::move(listing.folders);
    for (; work->next < work->files.size() && work->pending.size() < kCopiesAhead && !stopRequested(); ++work->next) {
        Pending p;
        work->takeNext(p);
        start(p, work->folder, run);
        work->pending.push_back(std::move(p));
    }
    run.ahead = std::move(work);
}

void DiffCopy::Impl::planAhead(Run& run)
{
    if (!run.walkAhead)
        return;
    std::vector<WalkAhead::Frame> frames;
    frames.reserve(run.frames.size());
    for (const Run::Frame& frame : run.frames)
        frames.push_back({ &frame.place, &frame.srcPrefix, &frame.dstPrefix, frame.folders, frame.next });
    run.walkAhead->plan(frames);
}

std::unique_ptr<FolderAhead> DiffCopy::Impl::readAhead(
    const WalkPlace& place, const std::string& src, const std::string& dst, Run& run)
{
    if (!run.walkAhead)
        return nullptr;
    return run.walkAhead->take(place, src, dst, [this] { return !stopRequested(); });
}

void DiffCopy::Impl::dropAhead(Run& run)
{
    const std::unique_ptr<FolderFiles> work = std::move(run.ahead);
    if (!work)
        return;
    std::vector<const Pending*> through;
    if (run.pool) {
        run.pool->cancelQueued(&work->folder);
        for (const Pending& p : work->pending) {
            if (!p.copy)
                continue;
            run.pool->waitFor(*p.copy);
            if (!p.copy->cancelled() && p.copy->result().code == 0)
                through.push_back(&p);
        }
    }
    if (through.empty()) {
        if (work->dstCreated && work->parent.get() >= 0)
            unlinkat(work->parent.get(), work->name.c_str(), AT_REMOVEDIR); // made for nothing
        return;
    }
    try {
        listener_.FolderSearching(work->srcPath);
        listener_.FolderSearched(work->srcPath);
        for (const Pending* p : through) {
            bytesChecked_ += p->file.size;
            listener_.FileChecked(p->srcPath, p->dstPath, DateTime::fromUnixSeconds(p->file.mtimeSeconds()), true);
        }
    } catch (...) {
        // The folder is not walked; a handler that fails is not asked again.
    }
}

void DiffCopy::Impl::start(Pending& p, Folder& folder, Run& run)
{
    // The decision: filter, then times, then the copy itself.
    const bool filteredOut = filter_.passesOver(ExtensionOf(p.file.name));
    p.code = filteredOut ? 0 : p.file.statError;
    p.text = p.code != 0 ? systemMessage(p.code) : std::string();
    p.copied = false;
    p.copy.reset();
    if (p.code != 0)
        return;
    // A twin is looked up even in a folder this run made: another twin may be there now.
    const std::vector<std::string> twins
        = filteredOut || folder.twins.empty() ? std::vector<std::string>() : otherTwins(p.file.name, folder, run);
    // A file decided again because another program wrote its destination is
    // looked up afresh, whatever a listing said.
    const bool again = p.decisions > 0;
    const bool lookUp = !filteredOut && folder.dstFd >= 0 && (!folder.dstEmpty || !twins.empty() || again);
    DestinationFile dstFile;
    if (lookUp && (again || !twins.empty() || !folder.index.knownMissing(p.file.name, run.shares))) {
        std::optional<LookedUp> looked;
        if (twins.empty() && !again) {
            looked = folder.index.lookedUpAhead(p.position);
            if (!looked)
                looked = folder.index.lookUp(p.file.name, filter_);
        }
        if (!looked)
            looked = LookedUp::of(folder.dstFd, p.file.name);
        dstFile = destinationOf(folder.dstFd, p.file.name, looked->error, looked->st, run.euid, p.file.size);
    } else if (lookUp || (folder.dstEmpty && folder.dstFd >= 0 && twins.empty())) {
        dstFile.seen = SeenDestination {};
    }
    ++p.decisions;
    if (dstFile.time && !p.found) {
        p.found = true;
        ++foundAtDestination_;
    }
    const Verdict verdict = decideCopy(filteredOut, p.file.mtimeSeconds(), dstFile.time, run.ignSec, dstFile.sameSize);
    // A destination that does not tell case apart holds one file for all
    // twins: the first in the walk keeps it, and a later one is reported,
    // newer or not, rather than copied over it or passed over in silence.
    if (verdict != Verdict::FilteredOut && !twins.empty() && folder.dstFd >= 0) {
        if (const auto twin = overlappingTwin(folder.dstFd, p.file.name, twins, folder.twinsWritten)) {
            p.code = EEXIST;
            p.text = "コピー先で " + *twin + " と名前が重なるため、コピーしません";
            return;
        }
    }
    if (verdict != Verdict::Copy)
        return;
    p.copied = true; // in simulation mode: would be copied
    if (simulation_)
        return;
    // A temporary that a killed copy left stands beside a file that was being
    // copied and so is copied again: the folder is searched for such leftovers
    // when a copy into it first begins, none of its copies yet on their way.
    // A run where nothing changed lists no destination folder. The sweep
    // leaves every name the source folder has, so the files decided before it
    // stay as they were decided on.
    int keepFd = -1;
    if (run.versions && dstFile.known() != KnownDestination::Missing) {
        int error = 0;
        keepFd = keepFolderFor(folder, p.dstPath, run, error);
        if (keepFd < 0) {
            p.code = error;
            p.text = "置き換える前のファイルを残す版の保存フォルダを作成できないため、コピーしません（"
                + systemMessage(error) + "）";
            p.copied = false;
            return;
        }
    }
    const std::int32_t caps = capsOf(folder, run);
    if (!folder.swept && folder.index.mayHoldTemporaries())
        sweep(folder, caps);
    folder.swept = true;
    // With a cold cache each copy would wait for its own reads: the sources
    // decided on are asked for as they are decided, up to kCopiesAhead files
    // before their copies, so that the disk has several requests at once.
    if (run.copiesDecided++ % kColdCheckEvery == 0)
        run.readsDisk = readFromDiskSince(run.blocksRead);
    if (run.readsDisk)
        readSourceAhead(p.srcPath, kSourceAheadBytes);
    if (!run.pool) {
        const int copies = run.distant && !parallelCopiesSet_ ? kDistantCopies : parallelCopies_;
        run.pool = std::make_unique<CopyPool>(copies > 1 ? copies - 1 : 1);
    }
    p.copy = run.pool->submit(
        p.file.size,
        [this, src = p.srcPath, dst = p.dstPath, dirFd = folder.dstFd, file = p.file, known = dstFile.known(), caps,
            stampsHold = folder.stampsHold, seen = dstFile.seen, keepFd, before = beforeCopy_] {
            return copyWatched(
                src, { dst, dirFd, file.name.c_str(), known, caps, stampsHold.get(), seen, keepFd }, file, before);
        },
        &folder);
    if (!folder.twins.empty() && folder.twins.count(foldedName(p.file.name)))
        folder.twinCopies[p.file.name] = p.copy;
}

CopyResult DiffCopy::Impl::copyWatched(
    const std::string& src, const CopyTarget& dst, const ListedFile& file, const std::function<void()>& before)
{
    std::shared_ptr<WatchedCopy> watch;
    if (file.size >= kWatchedBytes) {
        watch = std::make_shared<WatchedCopy>();
        watch->dst = dst.path;
        watch->size = file.size;
        std::lock_guard<std::mutex> lock(watchedMutex_);
        watched_.push_back(watch);
    }
    if (before)
        before();
    const CopyResult result = copyOneFile(src, dst, file.atime, file.mtime, watch ? &watch->done : nullptr);
    // Counted here, as the copy ends, and for a watched one in the same step
    // as it leaves the watch, so that the total never dips.
    std::unique_lock<std::mutex> lock(watchedMutex_, std::defer_lock);
    if (watch) {
        lock.lock();
        watched_.erase(std::find(watched_.begin(), watched_.end(), watch));
    }
    if (result.code == 0)
        bytesCopied_ += file.size;
    if (result.kept)
        ++keptAside_;
    return result;
}

int DiffCopy::Impl::keepFolderFor(Folder& folder, const std::string& dstPath, Run& run, int& error)
{
    if (folder.keepFd.get() < 0 && folder.keepError == 0) {
        // The destination folder's path below the top, from the file's.
        const std::string top = AddBackslash(run.topDstGiven);
        const size_t slash = dstPath.rfind('/');
        const std::string relative = slash != std::string::npos && slash > top.size()
            ? dstPath.substr(top.size(), slash - top.size())
            : std::string();
        folder.keepFd = run.versions->folderFor(relative);
        if (folder.keepFd.get() < 0)
            folder.keepError = errno ? errno : EIO;
    }
    error = folder.keepError;
    return folder.keepFd.get();
}

void DiffCopy::Impl::sweep(Folder& folder, std::int32_t caps)
{
    folder.swept = true;
    if (!folder.dstEmpty)
        removeStaleTemporaries(folder.dstFd, caps, [&folder](const std::string& name) {
            return std::any_of(folder.sourceFiles->begin(), folder.sourceFiles->end(),
                [&name](const ListedFile& file) { return file.name == name; });
        });
}

std::optional<std::string> DiffCopy::Impl::linkedWithin(const std::string& src, const Run& run)
{
    struct stat st;
    if (run.topSrcReal.empty() || lstat(src.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return std::nullopt;
    char* resolved = realpath(src.c_str(), nullptr);
    if (!resolved)
        return std::nullopt;
    const std::string real = resolved;
    free(resolved);
    const std::string& top = run.topSrcReal;
    if (real == top)
        return run.topDstGiven;
    const std::string within = top == "/" ? top : top + "/";
    if (real.compare(0, within.size(), within) != 0)
        return std::nullopt;
    return AddBackslash(run.topDstGiven) + real.substr(within.size());
}

std::int32_t DiffCopy::Impl::capsOf(Folder& folder, Run& run)
{
    if (folder.caps)
        return *folder.caps;
    struct stat st;
    if (folder.dstFd < 0 || fstat(folder.dstFd, &st) != 0)
        return *(folder.caps = 0); // the copy finds out for itself
    const auto known = run.caps.find(st.st_dev);
    folder.caps = known != run.caps.end() ? known->second : run.caps[st.st_dev] = qvu::ProbeFolder(folder.dstFd);
    return *folder.caps;
}

void DiffCopy::Impl::busyWith(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(activityMutex_);
    busyFolder_ = folder;
    folderBegun_ = std::chrono::steady_clock::now();
}

DiffCopy::Activity DiffCopy::Impl::activity() const
{
    std::lock_guard<std::mutex> lock(activityMutex_);
    const std::chrono::steady_clock::time_point file { std::chrono::steady_clock::duration(lastFile_.load()) };
    return { busyFolder_, std::max(folderBegun_, file) };
}

RunProgress DiffCopy::Impl::progress() const
{
    RunProgress progress;
    progress.bytesChecked = bytesChecked_;
    std::lock_guard<std::mutex> lock(watchedMutex_);
    progress.bytesCopied = bytesCopied_;
    progress.keptAside = keptAside_;
    progress.foundAtDestination = foundAtDestination_;
    for (const auto& watch : watched_) {
        const std::int64_t done = std::min(watch->done.load(std::memory_order_relaxed), watch->size);
        progress.bytesCopied += done;
        if (watch->size > progress.largeSize) {
            progress.largeFile = watch->dst;
            progress.largeSize = watch->size;
            progress.largeDone = done;
        }
    }
    return progress;
}

std::vector<std::string> DiffCopy::Impl::otherTwins(const std::string& name, Folder& folder, Run& run)
{
    const auto group = folder.twins.find(foldedName(name));
    if (group == folder.twins.end())
        return {};
    std::vector<std::string> others;
    bool later = false;
    for (const std::string& twin : group->second) {
        if (twin == name) {
            later = true;
            continue;
        }
        // A later twin counts once it is written: the first one's copy may
        // have failed and be retried after it.
        if (later) {
            if (folder.twinsWritten.count(twin))
                others.push_back(twin);
            continue;
        }
        others.push_back(twin);
        // Its copy may still be on its way; the lookup must see where it lands.
        const auto copy = folder.twinCopies.find(twin);
        if (copy == folder.twinCopies.end())
            continue;
        run.pool->waitFor(*copy->second);
        if (!copy->second->cancelled() && copy->second->result().code == 0)
            folder.twinsWritten.insert(twin);
        folder.twinCopies.erase(copy);
    }
    return others;
}

void DiffCopy::Impl::finish(Pending& p, Run& run)
{
    if (!p.copy)
        return;
    run.pool->waitFor(*p.copy);
    const CopyResult& copy = p.copy->result();
    p.code = copy.code;
    p.text = copy.code != 0 && copy.text.empty() ? systemMessage(copy.code) : copy.text;
    p.copied = copy.code == 0;
    p.copy.reset();
}

DiffCopy::Impl::FileOutcome DiffCopy::Impl::settle(
    Pending& p, Folder& folder, Run& run, const std::string& src, const std::string& dst)
{
    for (;;) {
        finish(p, run);
        // Another program wrote the destination after the file was decided:
        // it is decided again on what is there now.
        if (p.code == kDestinationChanged && p.decisions < kDecisions) {
            start(p, folder, run);
            continue;
        }
        bool reportSkipped = false;
        if (p.code != 0) {
            // While the user is asked, the copies queued behind the file wait:
            // a stop then leaves only those already started.
            if (run.pool)
                run.pool->hold();
            const ErrorReply reply = ask(p.srcPath, p.dstPath, p.text);
            if (run.pool) {
                if (reply == ErrorReply::Stop)
                    run.pool->cancelQueued();
                run.pool->release();
            }
            if (reply == ErrorReply::Stop)
                return { FileEnd::Stop, p.code };
            if (reply == ErrorReply::Retry) {
                p.file = restat(p.file.name, p.srcPath);
                p.decisions = 0;
                start(p, folder, run);
                continue;
            }
            if (reply != ErrorReply::Skip && reply != ErrorReply::SkipAll)
                return { FileEnd::Next, p.code }; // outside the protocol: no event, the code stays as the result
            reportSkipped = true;
        }

        const DateTime time = DateTime::fromUnixSeconds(p.file.mtimeSeconds());
        bytesChecked_ += p.file.size;
        gotOn();
        const Resolved checked = guarded(src, dst, [&] {
            listener_.FileChecked(p.srcPath, p.dstPath, time, p.copied && !reportSkipped);
            return 0;
        });
        if (checked.resolution == Resolution::Stop)
            return { FileEnd::Stop, checked.failure };
        if (checked.resolution == Resolution::EndFolder)
            return { FileEnd::EndFolder, 0 };
        return { FileEnd::Next, 0 };
    }
}

void DiffCopy::Impl::abandon(std::deque<Pending>& pending, Run& run, const void* lane)
{
    if (pending.empty())
        return;
    if (run.pool)
        run.pool->cancelQueued(lane);
    for (Pending& p : pending) {
        if (p.copy) {
            run.pool->waitFor(*p.copy);
            if (p.copy->cancelled() || p.copy->result().code != 0)
                continue; // never made, or failed and left as it was: as if never tried
        } else if (p.code != 0) {
            continue;
        }
        bytesChecked_ += p.file.size;
        try {
            listener_.FileChecked(p.srcPath, p.dstPath, DateTime::fromUnixSeconds(p.file.mtimeSeconds()), p.copied);
        } catch (...) {
            break; // the run is ending anyway; a handler that fails is not asked again
        }
    }
    pending.clear();
}

// The copy engine: brings a destination folder up to date with a source folder
// by copying the files that are missing at the destination or whose
// last-modified time in the source is later.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include "listener.h"
#include "versions.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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
    // With kept versions: the files whose old version was kept aside, and
    // the files the run found at the destination under a source file's name.
    std::int64_t keptAside = 0;
    std::int64_t foundAtDestination = 0;
};

class DiffCopy {
public:
    // Result of CopyNews when the run was interrupted.
    static constexpr std::int32_t kStopped = -1;
    // Error number of a failure that escaped one of the listener's handlers.
    static constexpr std::int32_t kHandlerFailure = ENOTRECOVERABLE;

    explicit DiffCopy(DiffCopyListener& listener);
    ~DiffCopy();
    DiffCopy(const DiffCopy&) = delete;
    DiffCopy& operator=(const DiffCopy&) = delete;

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

    // The walk reads up to N folders ahead of itself (their listings, and
    // the attributes of their files at the destination) on a few threads of
    // their own; 0 reads every folder as the walk comes to it. By default 32.
    void setFoldersAhead(int n);

    // Called on the copying thread as each copy starts.
    void setBeforeCopy(std::function<void()> beforeCopy);

    // Keeps the files the runs replace: each goes, as the new file takes its
    // place, into DESTINATION/.vestrelle-versions/RUN_NAME/ under its path
    // below the destination (engine/versions.h), and a folder named so at the
    // top of the source is not copied. A file whose old version cannot be
    // kept is not replaced but reported. Before its first folder, a run
    // prunes the kept versions that fall outside RETENTION. Empty: nothing is
    // kept and nothing pruned.
    void setKeepReplaced(std::string runName, const Retention& retention = {});

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
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

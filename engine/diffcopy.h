// The copy engine: brings a destination folder up to date with a source folder
// by copying the files that are missing at the destination or whose
// last-modified time in the source is later.
#pragma once

#include "extfilter.h"
#include "filecopy.h"
#include "listener.h"
#include "listing.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

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

    // Runs the copy of one file of SIZE bytes: the runner calls COPY (on any
    // thread) and returns its result once it is done. Without a runner the
    // copy runs on the calling thread. Either way the run waits for the file.
    using CopyRunner = std::function<CopyResult(std::int64_t size, const std::function<CopyResult()>& copy)>;
    void setCopyRunner(CopyRunner runner);

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

private:
    struct FolderId {
        dev_t dev;
        ino_t ino;
        bool operator==(const FolderId& other) const { return dev == other.dev && ino == other.ino; }
    };

    struct Run {
        double ignSec = 0;
        bool subDirs = false;
        uid_t euid = 0;
        std::vector<FolderId> path; // the source folders from the top down to the one being walked
        bool hasTopDst = false;
        FolderId topDst {};
    };

    // How an unexpected failure was answered.
    enum class Resolution { Retry, Continue, EndFolder, Stop };

    std::int32_t processFolder(const std::string& src, const std::string& dst, Run& run, bool top);
    // Decides and copies the files of one folder (DST_CREATED: its destination
    // folder was made by this run); ENDED tells that the folder ends with the
    // returned value instead of going on to its subfolders.
    std::int32_t processFiles(const std::string& srcPrefix, const std::string& dstPrefix,
        const std::vector<ListedFile>& files, const Run& run, bool dstCreated, bool& ended);
    bool makeDestination(const std::string& src, const std::string& dst);
    std::int32_t countFolder(const std::string& src, bool subDirs, std::vector<FolderId>& path, std::int32_t& reached);

    // Runs one step of a folder; a failure thrown from it, or from a handler
    // it calls, is reported as an unexpected failure of the folder.
    template <typename Step>
    Resolution guarded(const std::string& src, const std::string& dst, std::int32_t& failure, Step&& step);
    Resolution resolveFailure(const std::string& src, const std::string& dst, std::int32_t code,
        const std::string& text, std::int32_t& failure);

    // Asks the listener; a failure thrown by the handler itself is taken as reply 1.
    std::int32_t ask(const std::string& src, const std::string& dst, const std::string& text);

    bool stopRequested();

    DiffCopyListener& listener_;
    std::function<void()> yield_;
    CopyRunner copyRunner_;
    std::atomic<bool> stop_ { false };
    bool simulation_ = false;
    ExtFilter filter_;
};

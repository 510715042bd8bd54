// Kept versions: the files a run replaces, each moved as it is replaced into
// a folder of that run at the top of the destination,
//
//   DESTINATION/.vestrelle-versions/2026-12-10_030000/<its path below DESTINATION>
//
// and the pruning of those folders at a later run's start. Every run folder
// carries a marker file; pruning removes nothing but folders that carry it,
// and follows no link.
#pragma once

#include "dstfolder.h"

#include <ctime>
#include <mutex>
#include <string>
#include <sys/types.h>

constexpr const char* kVersionsFolder = ".vestrelle-versions";
constexpr const char* kVersionsMarker = ".vestrelle-run";

// How long kept versions stay: the folders of the last COUNT runs that kept
// something (a new run's own among them), or those of the last COUNT days.
struct Retention {
    enum class By { Runs, Days };
    By by = By::Days;
    int count = 30;
    bool operator==(const Retention& other) const { return by == other.by && count == other.count; }
};

// The name of the folder of a run begun at START: its local time as
// YYYY-MM-DD_HHMMSS, which sorts as the runs did.
std::string versionsRunName(std::time_t start);

// The folders of one run's kept versions, made as the first replaced file of
// each destination folder needs its own.
class RunVersions {
public:
    // For a run named RUN_NAME (versionsRunName) into the destination whose
    // top folder is TOP_FD; its folders are made with MODE (the owner may
    // always write in them, so that pruning can empty them) and, where the
    // run may give them away, belong to the destination's owner.
    RunVersions(int topFd, std::string runName, mode_t mode);

    // The folder that keeps the replaced files of the destination folder
    // RELATIVE (its path below the top; empty for the top itself), opened
    // (O_PATH); -1 with errno set when it cannot be made or opened. Safe to
    // call from any thread.
    FolderFd folderFor(const std::string& relative);

    // The run's folder's name below kVersionsFolder, once it is made: the
    // run's name, or with "-2" and so on when a run of the same second has it.
    std::string madeName() const;

private:
    // Makes the run's folder with its marker; -1 with errno set on failure.
    int runFolder();
    // Makes and opens NAME in PARENT_FD (an existing folder, never a link).
    FolderFd madeBelow(int parentFd, const std::string& name);

    int topFd_;
    std::string runName_;
    mode_t mode_;
    mutable std::mutex mutex_;
    FolderFd run_; // the run's folder, once made
    std::string madeName_;
};

// Removes, below DESTINATION's kVersionsFolder, the run folders that carry
// the marker and fall outside RETENTION at NOW. Anything else there (a
// folder without the marker, a file, a link) stays, and no link is followed.
// The number of run folders removed; 0 when there is no versions folder.
int pruneVersions(const std::string& destination, const Retention& retention, std::time_t now);

// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).

#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

// The outcome of copying one file: 0, or the error code with its text.
struct CopyResult {
    std::int32_t code = 0;
    std::string text;
    bool kept = false; // the file it replaced was kept (CopyTarget::keepFd)
};

// What a look-up of the destination file found a moment before its copy.
enum class KnownDestination {
    Unknown, // not looked up, or neither of the others: the copy examines it
    Missing,
    Replaceable, // a regular file with a write permission bit
};

// What the run saw of the destination file when it decided on the copy.
struct SeenDestination {
    bool exists = false; // a regular file with a write permission bit, when true
    std::int64_t size = 0;
    timespec mtime {};
};

// The copy's place: its path, and when the caller holds its folder open
// (DIRFD, O_PATH will do), its name in that folder, which spares the system a
// walk down the whole path; and what is known of the file there.
struct CopyTarget {
    const std::string& path;
    int dirFd = -1;
    const char* name = nullptr;
    KnownDestination known = KnownDestination::Unknown;
    // What the folder's file system was found to do with new files (the
    // helper library's QVU_FS_* bits), or 0 for the copy to find out.
    std::int32_t caps = 0;
    // Shared by the copies into one folder: whether the times a copy reads
    // back from its open file have proved to be those its name shows later.
    // Once they have, the second pass is left out (on a network share it
    // costs a round trip a file); a driver that keeps them only in the open
    // file (fusefat) never proves so.
    std::atomic<bool>* stampsHold = nullptr;
    // With SEEN, DST is looked at again just before it is replaced, and the
    // copy fails with kDestinationChanged when another program has written it
    // since (a DST seen missing that has appeared included).
    std::optional<SeenDestination> seen {};
    // The folder (O_PATH will do) that keeps the file the copy replaces,
    // under the same name, or -1. It must be on the file system of DIRFD.
    int keepFd = -1;
};

// The copies' own failures, beside the errno values: a source written while
// it was copied, twice running; a destination written by another program
// after the copy was decided.
constexpr std::int32_t kSourceChanged = 10001;
constexpr std::int32_t kDestinationChanged = 10002;

// Copies SRC onto DST through the helper library (atomic replacement, the
// source's permission bits and times carried), then CopyTimeStamps with the
// times SRC had when it was decided on (a FUSE driver may drop times set
// through the open file, as fusefat does). With COPIED, the copy keeps it at how
// far into the file it has come.
CopyResult copyOneFile(const std::string& src, const CopyTarget& dst, const timespec& atime, const timespec& mtime,
    std::atomic<std::int64_t>* copied = nullptr);

// Asks the system to start reading the first BYTES of SRC into the cache, so
// that its copy, a moment later, finds them there rather than waits for the
// disk. Only a regular file is opened, as by the copy itself; whatever fails
// is left to the copy to meet and report.
void readSourceAhead(const std::string& src, std::int64_t bytes);

// Sets the access and modification times of DST; false when that fails.
//
// The engine passes the times the source had when it was listed, not times
// read again after the copy: should the source change in between, the copy
// comes out stamped older than its content, so a later run copies it again,
// whereas a fresh reading could stamp the newer time on the older content
// and hide the change from every later run.
bool CopyTimeStamps(const timespec& atime, const timespec& mtime, const CopyTarget& dst);

// CopyTimeStamps, telling whether the times had to be set.
enum class Stamping { AlreadyThere, Set, Failed };
Stamping stampTimes(const timespec& atime, const timespec& mtime, const CopyTarget& dst);

// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).

#pragma once

#include "util/datetime.h"

#include <cstdint>
#include <string>

// How the user answers a copy error; the values are the numeric reply codes.
enum class ErrorReply : std::int32_t {
    Stop = 1, // end the run
    Retry = 2, // try the failed step again
    Skip = 3, // pass over the item and go on
    SkipAll = 4, // pass over this item and every later error
};

// What a copy run tells as it goes. Every event is raised on the thread that
// called CopyNews, and the run waits for the handler to return.
class RunEvents {
public:
    virtual ~RunEvents() = default;

    // A file was decided without an error, or its copy error was skipped
    // (then bCopied is false). bCopied true: copied, or in simulation mode
    // would be copied; dtFile is then the source's last-modified time.
    virtual void FileChecked(const std::string& pSrc, const std::string& pDst, const DateTime& dtFile, bool bCopied)
        = 0;

    // A source folder is about to be listed.
    virtual void FolderSearching(const std::string& pPath) = 0;

    // A source folder was listed; its files are decided next.
    virtual void FolderSearched(const std::string& pPath) = 0;

    // A source folder reached again through a link (a loop, or two links to
    // one folder) was passed over: it was copied to firstDst already in this
    // run. Not a failure: nothing is missing.
    virtual void FolderAlreadyCopied(const std::string& pSrc, const std::string& firstDst) = 0;
};

// What a copy run reports: its events, and the failures it asks about.
class DiffCopyListener : public RunEvents {
public:
    // Something failed. The handler stores its reply in nOp. No reply stored,
    // or a value outside ErrorReply: a file's error leaves the file unreported
    // and its error code as the folder's result, a destination folder that
    // cannot be made is asked about again, and any other failure ends its folder.
    virtual void ErrorDetected(
        const std::string& strSrc, const std::string& strDst, const std::string& strErr, ErrorReply& nOp)
        = 0;
};

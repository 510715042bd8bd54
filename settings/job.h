// The copy job: the two folders, the four options with the tolerance, the
// extension filter and the background choice. One plain value that a copy
// set is read into and written from, that the main window shows and edits
// through its controls, and that a copy run or an estimate takes once it
// has been checked. Texts are UTF-8; folders are kept exactly as typed.
#pragma once

#include "util/mounts.h"

#include <cstdint>
#include <optional>
#include <string>

// The extension filter's kind, by the numbers the filter dialog and the
// settings give it.
enum class FilterKind : std::int32_t { None = 0, Include = 1, Exclude = 2 };

// The background's kind: automatic (the picture of the hour), none, one of
// the built-in gradients (1 and up), or beyond those an own picture.
constexpr std::int32_t kGradationAutomatic = -1;
constexpr std::int32_t kGradationNone = 0;

// Keeping the files a run replaces (off by default), and for how long: the
// last COUNT runs that kept any, or the last COUNT days.
struct KeepReplaced {
    bool on = false;
    std::int32_t count = 30;
    bool byRuns = false; // COUNT is runs rather than days
    bool operator==(const KeepReplaced& other) const
    {
        return on == other.on && count == other.count && byRuns == other.byRuns;
    }
};

// A new job is what a new main window shows.
struct CopyJob {
    std::string source;
    std::string destination;
    bool subfolders = true;
    // Differences in last-modified time up to the tolerance are ignored.
    bool tolerate = true;
    std::string tolerance = "2"; // seconds, exactly as typed
    // The copy goes into a folder named like the source, below the destination.
    bool makeFolder = false;
    bool filtered = false;
    FilterKind filterKind = FilterKind::None; // None: none chosen yet
    // The kind's caption as the window shows it and a copy set holds it:
    // 採用, 除外, blank, or what a hand-edited copy set gave (anything but
    // 採用 excludes). Not part of the job's meaning: == leaves it out.
    std::string filterKindCaption;
    std::string filterList; // the extensions in their normalised form
    // The background: automatic, none, 1..9 built-in gradient, anything
    // else the own picture; the label colour as 0x00BBGGRR.
    std::int32_t gradation = kGradationAutomatic;
    std::string picture;
    std::int32_t labelColor = 0;
    KeepReplaced keep;

    bool operator==(const CopyJob& other) const;
    bool operator!=(const CopyJob& other) const { return !(*this == other); }
};

// What a checked job asks of the engine.
struct RunOrder {
    std::string source; // blanks around it taken off, a shortcut followed
    std::string destination; // likewise, and with the source's folder name when asked for
    bool subfolders = false;
    double toleranceSeconds = 0;
    FilterKind filterKind = FilterKind::None; // None: no filter
    std::string filterList;
};

// How checking a job talks to whoever started it.
class JobDialogue {
public:
    enum class Field { Source, Destination, Tolerance, Filter };

    virtual ~JobDialogue() = default;
    // The job cannot run: MESSAGE says why, FIELD is the value to mend.
    virtual void refuse(const std::string& message, Field field) = 0;
    // A yes/no question; true for yes.
    virtual bool ask(const std::string& question) = 0;
    // PATH as a message shows it.
    virtual std::string named(const std::string& path) { return path; }
    // The user agreed to take TARGET, a shortcut's target, for FIELD.
    virtual void replaced(Field /*field*/, const std::string& /*target*/) { }
};

// Checks JOB and works out what it asks of the engine: both folders given, a
// shortcut's target when the user agrees to it, the made folder's name, a
// destination that is not to be made where its disk is missing (as MOUNTS
// tell), a numeric tolerance, a chosen filter. Nothing when the job cannot
// run or the user declined.
std::optional<RunOrder> checkJob(const CopyJob& job, JobDialogue& dialogue, const MountTables& mounts = MountTables());

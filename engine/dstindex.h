// What a run knows of the names in its destination folders on network shares,
// where every look-up of a name is a round trip to a server. One listing of
// such a folder tells which names are there at all: where the share tells
// letter case apart, a name that the listing lacks needs no look-up while the
// listing is fresh. The names it holds are looked up a few dozen at a time,
// side by side, ahead of the files decided, and the share's client answers
// them together.
#pragma once

#include "extfilter.h"
#include "listing.h"

#include <chrono>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// What a look-up of a destination file found: its attributes, or the errno.
struct LookedUp {
    int error = 0;
    struct stat st { };
    // Looks NAME up in the folder DIR_FD.
    static LookedUp of(int dirFd, const std::string& name);
};

// What a run has found out about the file systems of its destination folders.
class DstShares {
public:
    // Whether the folder DIR_FD, on the file system DEV, is on a network
    // share; found out once per file system.
    bool isDistant(int dirFd, dev_t dev);
    // Whether the share DEV was seen not to tell letter case apart.
    bool caseBlind(dev_t dev) const { return caseBlind_.count(dev) != 0; }
    void setCaseBlind(dev_t dev) { caseBlind_.insert(dev); }

private:
    std::unordered_map<dev_t, bool> distant_;
    std::unordered_set<dev_t> caseBlind_;
};

// The names of one destination folder, as far as the run has listed and
// looked them up. Empty, it tells nothing, and every name is looked up.
class DstIndex {
public:
    // Indexes the destination folder DIR_FD, where it is on a network share,
    // for FILES, the source folder's files in walk order.
    void open(int dirFd, const std::vector<ListedFile>& files, DstShares& shares);

    // Whether the folder may hold temporaries or files set aside: it was not
    // listed, or its first listing held such names.
    bool mayHoldTemporaries() const { return !listed_ || temporariesListed_; }
    // Whether its first listing showed such names.
    bool temporariesListed() const { return listed_ && temporariesListed_; }

    // Whether NAME is known to be missing from the folder without a look-up.
    bool knownMissing(const std::string& name, DstShares& shares);

    // What the folder holds under NAME, which its listing held: looked up
    // with the next few such names at once (but those that FILTER passes
    // over), while those look-ups are fresh. Nothing when the folder is not
    // indexed, or NAME not listed or looked up already.
    std::optional<LookedUp> lookUp(const std::string& name, const ExtFilter& filter);

    // Takes what look-ups of the source folder's files found ahead of the
    // walk at AT (FOUND, in the source's listing order).
    void adopt(std::vector<LookedUp> found, std::chrono::steady_clock::time_point at);
    // What the look-up ahead found for the source's file at POSITION, while
    // it is fresh; once, so a file decided again is looked up afresh.
    std::optional<LookedUp> lookedUpAhead(size_t position);

private:
    // Lists the folder (again); false when it cannot be listed.
    bool list();

    int dirFd_ = -1;
    dev_t dev_ = 0;
    // The names the folder held when it was last listed, and when and how
    // fast that was.
    bool listed_ = false;
    std::unordered_set<std::string> names_;
    std::chrono::steady_clock::time_point listedAt_ {};
    std::chrono::steady_clock::duration listingTook_ {};
    bool temporariesListed_ = false;
    // Whether the folder tells names apart by letter case: only then is a
    // name that the listing lacks missing (a FAT stick or a Samba share may
    // hold it in another case); nothing while not found out.
    std::optional<bool> caseSensitive_;
    // The names of the source's files that the first listing held (all of
    // them, where the share does not tell letter case apart and the folder is
    // not listed), in walk order, and the attributes of the next few of them,
    // looked up side by side, with when that was.
    std::vector<std::string> listedFiles_;
    size_t lookUpNext_ = 0;
    std::unordered_map<std::string, LookedUp> lookedUp_;
    std::chrono::steady_clock::time_point lookedUpAt_ {};
    // What was looked up ahead of the walk, by position in the source's
    // listing, which of it was given out, and when it was looked up.
    std::vector<LookedUp> ahead_;
    std::vector<bool> aheadTaken_;
    std::chrono::steady_clock::time_point aheadAt_ {};
};

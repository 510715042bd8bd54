#include "dstindex.h"

#include "staletemps.h"
#include "util/paths.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <thread>

namespace {

// A listing of a destination folder stands for its content for at least this
// long, and for ten times as long as it took to make: new names are then
// looked up, and the folder listed again, only so often that listing it
// costs a tenth of the time at most.
constexpr std::chrono::seconds kListingFresh(2);
constexpr int kListingCostShare = 10;

// Files of a listed destination folder looked up at once, and with how many
// threads: a share's client takes a few look-ups at a time, and a few dozen
// decided ahead cost little when a copy then stops the walk for a while.
constexpr size_t kLookUpsAhead = 64;
constexpr size_t kLookUpThreads = 8;
constexpr size_t kLookUpsPerThread = 4;
constexpr std::chrono::microseconds kSlowLookUp(50);

// Whether the folder DIR_FD, which holds NAMES, tells names apart by letter
// case: one of its names with its letters' case turned must not be found.
// Nothing when no name has a letter to turn.
std::optional<bool> tellsCaseApart(int dirFd, const std::unordered_set<std::string>& names)
{
    for (const std::string& name : names) {
        std::string turned = name;
        for (char& c : turned)
            c = c >= 'a' && c <= 'z' ? c - 0x20 : c >= 'A' && c <= 'Z' ? c + 0x20 : c;
        if (turned == name || names.count(turned))
            continue;
        struct stat st;
        return fstatat(dirFd, turned.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
    }
    return std::nullopt;
}

// Looks NAMES up in the folder DIR_FD into FOUND, several at once: on a
// network share each look-up waits on a round trip, and the share's client
// answers many at a time.
void lookUpAll(
    int dirFd, const std::vector<const std::string*>& names, std::unordered_map<std::string, LookedUp>& found)
{
    if (names.empty())
        return;
    std::vector<LookedUp> results(names.size());
    const auto lookUp = [&](size_t i) { results[i] = LookedUp::of(dirFd, *names[i]); };
    // The first look-up shows whether the rest are worth threads: one that
    // the share's client answers from its cache costs less than a thread.
    const auto begun = std::chrono::steady_clock::now();
    lookUp(0);
    const bool slow = std::chrono::steady_clock::now() - begun >= kSlowLookUp;
    const size_t threads = slow ? std::clamp<size_t>(names.size() / kLookUpsPerThread, 1, kLookUpThreads) : 1;
    const auto lookUpEvery = [&](size_t first) {
        for (size_t i = first + 1; i < names.size(); i += threads)
            lookUp(i);
    };
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(lookUpEvery, t);
        } catch (const std::system_error&) {
            lookUpEvery(t);
        }
    }
    lookUpEvery(0);
    for (std::thread& helper : helpers)
        helper.join();
    for (size_t i = 0; i < names.size(); ++i)
        found.emplace(*names[i], results[i]);
}

} // namespace

LookedUp LookedUp::of(int dirFd, const std::string& name)
{
    LookedUp looked;
    looked.error = fstatat(dirFd, name.c_str(), &looked.st, 0) == 0 ? 0 : errno;
    return looked;
}

bool DstShares::isDistant(int dirFd, dev_t dev)
{
    const auto [known, added] = distant_.try_emplace(dev, false);
    if (added)
        known->second = isDistantFolder(dirFd);
    return known->second;
}

void DstIndex::open(int dirFd, const std::vector<ListedFile>& files, DstShares& shares)
{
    // On a network share a look-up per file is a round trip per file; one
    // listing tells which names are there at all, and gives the share's
    // client the attributes that the look-ups then find in its cache.
    // Where the share does not tell letter case apart every name is looked
    // up all the same, and the listing would tell nothing.
    struct stat st;
    if (files.empty() || fstat(dirFd, &st) != 0 || !shares.isDistant(dirFd, st.st_dev))
        return;
    dirFd_ = dirFd;
    dev_ = st.st_dev;
    if (shares.caseBlind(st.st_dev)) {
        for (const ListedFile& file : files)
            listedFiles_.push_back(file.name);
    } else if (list()) {
        temporariesListed_ = std::any_of(names_.begin(), names_.end(), [](const std::string& name) {
            return looksLikeTemporary(name.c_str()) || !setAsideFrom(name.c_str()).empty();
        });
        for (const ListedFile& file : files)
            if (names_.count(file.name))
                listedFiles_.push_back(file.name);
    }
}

bool DstIndex::list()
{
    const auto begun = std::chrono::steady_clock::now();
    names_.clear();
    listed_ = listNames(dirFd_, names_) == 0;
    listedAt_ = std::chrono::steady_clock::now();
    listingTook_ = listedAt_ - begun;
    return listed_;
}

bool DstIndex::knownMissing(const std::string& name, DstShares& shares)
{
    if (!listed_)
        return false;
    if (!names_.empty()) {
        if (!caseSensitive_) {
            const std::optional<bool> tells = tellsCaseApart(dirFd_, names_);
            caseSensitive_ = tells.value_or(false);
            if (tells == false)
                shares.setCaseBlind(dev_);
        }
        if (!*caseSensitive_)
            return false;
    }
    const auto age = std::chrono::steady_clock::now() - listedAt_;
    if (age > kListingFresh && age > kListingCostShare * listingTook_ && !list())
        return false;
    return !names_.count(name);
}

std::optional<LookedUp> DstIndex::lookUp(const std::string& name, const ExtFilter& filter)
{
    if (listedFiles_.empty())
        return std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    if (now - lookedUpAt_ > kListingFresh)
        lookedUp_.clear();
    auto found = lookedUp_.find(name);
    // The files are decided in walk order: a listed name not looked up yet
    // comes soon after the last look-ups ahead, and what is left of those
    // has been passed over.
    const auto names = listedFiles_.cbegin();
    auto next = listedFiles_.cend();
    if (found == lookedUp_.end() && (!listed_ || names_.count(name)))
        next = std::find(names + static_cast<std::ptrdiff_t>(lookUpNext_), listedFiles_.cend(), name);
    if (next != listedFiles_.cend()) {
        lookedUp_.clear();
        std::vector<const std::string*> ahead;
        for (; next != listedFiles_.cend() && ahead.size() < kLookUpsAhead; ++next)
            if (!filter.passesOver(ExtensionOf(*next)))
                ahead.push_back(&*next);
        lookUpNext_ = static_cast<size_t>(next - names);
        lookUpAll(dirFd_, ahead, lookedUp_);
        lookedUpAt_ = now;
        found = lookedUp_.find(name);
    }
    if (found == lookedUp_.end()) // not listed, or decided again
        return std::nullopt;
    const LookedUp looked = found->second;
    lookedUp_.erase(found);
    return looked;
}

void DstIndex::adopt(std::vector<LookedUp> found, std::chrono::steady_clock::time_point at)
{
    ahead_ = std::move(found);
    aheadTaken_.assign(ahead_.size(), false);
    aheadAt_ = at;
}

std::optional<LookedUp> DstIndex::lookedUpAhead(size_t position)
{
    if (position >= ahead_.size() || aheadTaken_[position]
        || std::chrono::steady_clock::now() - aheadAt_ > kListingFresh)
        return std::nullopt;
    aheadTaken_[position] = true;
    return ahead_[position];
}

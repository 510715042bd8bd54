#include "sourcecount.h"

#include "listing.h"
#include "util/paths.h"

#include <set>
#include <sys/stat.h>
#include <utility>
#include <vector>

std::optional<SourceSize> countSource(
    const std::string& top, bool subfolders, const std::function<bool()>& keepGoing, SourceSize& found)
{
    // The folders being counted, from the top down: what each has counted so
    // far, and its subfolders still to come.
    struct Level {
        SourceSize size;
        std::string prefix;
        std::vector<std::string> folders;
        size_t next = 0;
    };
    std::vector<Level> levels;
    std::set<std::pair<dev_t, ino_t>> counted;
    // Lists FOLDER into a level below the others; false when it is not a
    // folder, or was counted already through another link.
    const auto enter = [&](const std::string& folder) {
        struct stat st { };
        if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !counted.insert({ st.st_dev, st.st_ino }).second)
            return false;
        Listing listing;
        ListFolder(folder, listing, keepGoing);
        Level level;
        level.size.files = static_cast<std::int64_t>(listing.files.size());
        for (const ListedFile& file : listing.files)
            level.size.bytes += file.size;
        found.files += level.size.files;
        found.bytes += level.size.bytes;
        if (subfolders) {
            level.prefix = AddBackslash(folder);
            level.folders = std::move(listing.folders);
        }
        levels.push_back(std::move(level));
        return true;
    };

    if (!enter(top))
        return std::nullopt;
    for (;;) {
        Level& level = levels.back();
        const bool more = level.next < level.folders.size();
        if (more && keepGoing()) {
            enter(level.prefix + level.folders[level.next++]);
            continue;
        }
        // A folder left before one of its subfolders counts for nothing.
        const SourceSize size = more ? SourceSize {} : level.size;
        levels.pop_back();
        if (levels.empty())
            return size;
        levels.back().size.files += size.files;
        levels.back().size.bytes += size.bytes;
    }
}

SourceCount::SourceCount(std::string folder, bool subfolders, Done done)
    : thread_(
        [this, folder = std::move(folder), subfolders, done = std::move(done)] { count(folder, subfolders, done); })
{
}

SourceCount::~SourceCount()
{
    cancelled_ = true;
    wait();
}

void SourceCount::wait()
{
    if (thread_.joinable())
        thread_.join();
}

void SourceCount::count(const std::string& folder, bool subfolders, const Done& done)
{
    SourceSize found;
    const std::optional<SourceSize> size = countSource(
        folder, subfolders, [this] { return !cancelled_.load(std::memory_order_relaxed); }, found);
    if (size && !cancelled_)
        done(*size);
}

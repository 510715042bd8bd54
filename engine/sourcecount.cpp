#include "sourcecount.h"

#include "listing.h"
#include "util/paths.h"

#include <set>
#include <sys/stat.h>
#include <utility>
#include <vector>

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

void SourceCount::count(const std::string& top, bool subfolders, const Done& done)
{
    SourceSize size;
    std::set<std::pair<dev_t, ino_t>> counted;
    std::vector<std::string> waiting { top };
    const auto goOn = [this] { return !cancelled_.load(std::memory_order_relaxed); };
    while (!waiting.empty()) {
        const std::string folder = std::move(waiting.back());
        waiting.pop_back();
        struct stat st { };
        if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            if (folder == top)
                return;
            continue;
        }
        if (!counted.insert({ st.st_dev, st.st_ino }).second)
            continue;
        Listing listing;
        ListFolder(folder, listing, goOn);
        if (!goOn())
            return;
        size.files += static_cast<std::int64_t>(listing.files.size());
        for (const ListedFile& file : listing.files)
            size.bytes += file.size;
        if (!subfolders)
            break;
        const std::string prefix = AddBackslash(folder);
        for (const std::string& name : listing.folders)
            waiting.push_back(prefix + name);
    }
    done(size);
}

// The size of a job's source: the files and their bytes in the folder and,
// when asked, in every subfolder below it, each real folder once (links that
// lead back are not followed again). Counted where it is asked for, or on a
// thread of its own while the window goes on.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

struct SourceSize {
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};

// Counts FOLDER (with SUBFOLDERS, the whole tree below it, depth first in
// listing order). KEEP_GOING is asked for every entry listed and before every
// subfolder: false ends a listing, which keeps the files it has read, and
// before a subfolder makes the folder count for nothing, with everything
// below it. FOUND grows as each folder is listed, so that a count cut short
// by a failure thrown from KEEP_GOING still tells what it had found. Returns
// the count, or nothing when FOLDER is not a folder.
std::optional<SourceSize> countSource(
    const std::string& folder, bool subfolders, const std::function<bool()>& keepGoing, SourceSize& found);

class SourceCount {
public:
    // Called on the counting thread once the count is complete; never for a
    // count that was cancelled or whose folder is not a folder.
    using Done = std::function<void(const SourceSize& size)>;

    // Starts counting FOLDER (with SUBFOLDERS, the whole tree below it).
    SourceCount(std::string folder, bool subfolders, Done done);
    // Cancels the count and waits for its thread, which stops within one
    // directory entry.
    ~SourceCount();
    // Waits until the count has ended, complete or not.
    void wait();
    SourceCount(const SourceCount&) = delete;
    SourceCount& operator=(const SourceCount&) = delete;

private:
    void count(const std::string& folder, bool subfolders, const Done& done);

    std::atomic<bool> cancelled_ { false };
    std::thread thread_;
};

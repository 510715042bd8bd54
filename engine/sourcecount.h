// The size of a job's source, counted on a thread of its own while the window
// goes on: the files and their bytes in the folder and, when asked, in every
// subfolder below it, each real folder once (links that lead back are not
// followed again).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

struct SourceSize {
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};

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

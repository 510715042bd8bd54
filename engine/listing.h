// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).

#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

// One file of a listing, with what the decision and the copy need from the source.
struct ListedFile {
    std::string name;
    timespec atime {}; // last access
    timespec mtime {}; // last modification
    std::int64_t size = 0; // bytes
    int statError = 0; // errno when the entry's attributes could not be read

    // The last-modified time in whole seconds (UTC), as the decision compares it.
    std::int64_t mtimeSeconds() const { return static_cast<std::int64_t>(mtime.tv_sec); }
};

// The entries of one folder in the order the file system gives them. "." and
// ".." are dropped; an entry that is a folder (links followed) is a subfolder,
// anything else is a file.
struct Listing {
    std::vector<ListedFile> files;
    std::vector<std::string> folders;
};

// Lists FOLDER into LISTING (appending). KEEP_GOING is called for every entry
// before it is examined; when it answers false the listing ends at once and
// keeps what it has. Returns 0, or the errno of a failure to open or read the
// folder (the listing then holds what was read before it).
int ListFolder(const std::string& folder, Listing& listing, const std::function<bool()>& keepGoing);

// Puts the names in the folder DIR_FD (O_PATH will do) into NAMES, "." and
// ".." left out. Returns 0, or the errno of a failure to read the folder.
int listNames(int dirFd, std::unordered_set<std::string>& names);

// Whether every look-up in the folder FD costs a round trip to another
// process: a network file system, or a file system in user space.
bool isDistantFolder(int fd);

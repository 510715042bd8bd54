#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One file of a listing, with what the decision needs from the source.
struct ListedFile {
    std::string name;
    std::int64_t mtimeSeconds = 0; // last-modified time, whole seconds (UTC)
    int statError = 0; // errno when the entry's attributes could not be read
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

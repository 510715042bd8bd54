// Source files whose names differ only in letter case ("A.txt", "a.txt"):
// a destination that does not tell case apart (FAT and exFAT on USB sticks)
// holds one file for them, so the second must not be copied over the first.
#pragma once

#include "listing.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// NAME with its letter case folded: Unicode's simple case folding (Ā and ā,
// Σ, σ and ς, Ⅰ and ⅰ come out alike), and İ and ı taken for i. It only picks
// the names whose destination is looked at more closely, so folding more than
// a file system does costs a folder listing, never a wrong outcome; folding
// less would let one twin replace another. Bytes that are not UTF-8 stay as
// they are.
std::string foldedName(const std::string& name);

// The names of FILES that fold alike, grouped in listing order and keyed by
// their folded form; only groups of two or more.
std::unordered_map<std::string, std::vector<std::string>> twinGroups(const std::vector<ListedFile>& files);

// Which of OTHERS (twins of NAME) the destination folder DIR_FD gives for
// NAME: a lookup of NAME finds a file, NAME itself is not among the folder's
// entries, and one of OTHERS is, or was written there by this run (WRITTEN).
// Nothing when the folder tells the names apart.
std::optional<std::string> overlappingTwin(int dirFd, const std::string& name, const std::vector<std::string>& others,
    const std::unordered_set<std::string>& written);

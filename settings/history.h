// Folder histories as they are stored: one entry a line (LF between entries),
// each "yyyy/mm/dd HH:MM:SS" TAB folder. Pure text handling, no widgets.
//
// Texts are UTF-8. Where the stored form speaks of a number of characters,
// code points are counted, not bytes, so that a short Japanese folder name
// counts the way it reads.
#pragma once

#include "datetime.h"

#include <string>
#include <vector>

struct HistoryEntry {
    DateTime dtUsed; // the last run that used the folder
    std::string strFolder; // the folder text exactly as it stood in the combo box
};

// Reads a stored history value. Pieces of 8 characters or less, and pieces
// that do not split at TAB into exactly two parts, are skipped; a date that
// cannot be read becomes the zero time. The entries keep their stored order.
std::vector<HistoryEntry> parseHistoryValue(const std::string& value);

// The stored form of ENTRIES, in their order. An entry whose folder holds a
// LF, TAB or NUL is left out: read back, it would turn into another folder or
// swallow the entries after it.
std::string formatHistoryValue(const std::vector<HistoryEntry>& entries);

// Sorts entries[first..last] newest first (a quicksort whose handling of
// equal times is part of its contract: see the .cpp).
void SortHistByTime(int first, int last, std::vector<HistoryEntry>& entries);

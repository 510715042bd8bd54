// Folder histories as they are stored: one entry a line (LF between entries),
// each "yyyy/mm/dd HH:MM:SS" TAB folder. Pure text handling, no widgets.
//
// Texts are UTF-8. Where the stored form speaks of a number of characters,
// code points are counted, not bytes, so that a short Japanese folder name
// counts the way it reads.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include "util/datetime.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct HistoryEntry {
    DateTime dtUsed; // the last run that used the folder
    std::string strFolder; // the folder text exactly as it stood in the combo box
};

// How much of a stored history is read and kept. A history holds one entry
// per folder ever copied from or to; ten thousand is years of daily use with
// new folders, and far more than a drop-down list can usefully show. Its
// newest entries are kept (the oldest fall off, as in the recent-file list).
// Twice as many entries are read, so that a full list with the entries one
// session appended after them (the stored value puts those last) still reads
// in full and loses its oldest entries, not its newest. A value longer than
// its read entries need (some 400 bytes each) was not written by this
// program; only its first bytes are read, up to the last LF among them.
constexpr std::size_t kHistoryEntriesKept = 10000;
constexpr std::size_t kHistoryEntriesRead = 2 * kHistoryEntriesKept;
constexpr std::size_t kHistoryValueBytes = 8 << 20;

// Reads a stored history value: its first kHistoryEntriesRead entries within
// its first kHistoryValueBytes bytes. Pieces of 8 characters or less, and
// pieces that do not split at TAB into exactly two parts, are skipped; a
// date that cannot be read becomes the zero time. The entries keep their
// stored order.
std::vector<HistoryEntry> parseHistoryValue(std::string_view value);

// The stored form of ENTRIES, in their order. An entry whose folder holds a
// LF, TAB or NUL is left out: read back, it would turn into another folder or
// swallow the entries after it.
std::string formatHistoryValue(const std::vector<HistoryEntry>& entries);

// Sorts entries[first..last] newest first (a quicksort whose handling of
// equal times is part of its contract: see the .cpp).
void SortHistByTime(int first, int last, std::vector<HistoryEntry>& entries);

#include "history.h"

#include "util/pivotsort.h"

#include <algorithm>
#include <cstddef>

namespace {

// UTF-8 code points: every byte that does not continue a sequence starts one.
std::size_t characterCount(std::string_view text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](unsigned char c) { return (c & 0xC0) != 0x80; }));
}

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

bool storable(const std::string& folder)
{
    return folder.find_first_of(std::string("\n\t\0", 3)) == std::string::npos;
}

} // namespace

std::vector<HistoryEntry> parseHistoryValue(std::string_view value)
{
    if (value.size() > kHistoryValueBytes) {
        const std::size_t lastWhole = value.rfind('\n', kHistoryValueBytes);
        value = value.substr(0, lastWhole == std::string_view::npos ? 0 : lastWhole);
    }
    std::vector<HistoryEntry> entries;
    std::size_t start = 0;
    while (start <= value.size() && entries.size() < kHistoryEntriesRead) {
        const std::size_t end = std::min(value.find('\n', start), value.size());
        const std::string_view piece = value.substr(start, end - start);
        start = end + 1;
        // The shortest real entry is far longer; anything this short is debris
        // such as the empty piece between two LFs.
        if (characterCount(piece) <= 8)
            continue;
        const std::vector<std::string_view> parts = split(piece, '\t');
        if (parts.size() != 2)
            continue;
        entries.push_back({ dtParseDate(std::string(parts[0])), std::string(parts[1]) });
    }
    return entries;
}

std::string formatHistoryValue(const std::vector<HistoryEntry>& entries)
{
    std::string value;
    bool first = true;
    for (const HistoryEntry& entry : entries) {
        if (!storable(entry.strFolder))
            continue;
        if (!first)
            value += '\n';
        first = false;
        value += DateTimeText(entry.dtUsed);
        value += '\t';
        value += entry.strFolder;
    }
    return value;
}

// Newest first. Which of several entries with equal times comes first decides
// which folder a look-up by time finds, so the procedure is pivotSort's.
void SortHistByTime(int first, int last, std::vector<HistoryEntry>& entries)
{
    pivotSort(first, last, entries,
        [](const HistoryEntry& entry, const HistoryEntry& pivot) { return pivot.dtUsed < entry.dtUsed; });
}

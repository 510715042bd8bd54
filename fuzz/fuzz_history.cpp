// Stored folder histories: parsing arbitrary bytes, and storing then parsing
// entries, both those parsed and those cut out of the input. A broken
// property aborts, which libFuzzer reports.
#include "settings/history.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// 0001/01/01 00:00:00 and 9999/12/31 23:59:59 UTC: the years the text can hold.
constexpr std::int64_t firstSecond = -62135596800;
constexpr std::int64_t lastSecond = 253402300799;

void check(bool ok, const char* property)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", property);
        std::abort();
    }
}

std::size_t characterCount(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](unsigned char c) { return (c & 0xC0) != 0x80; }));
}

// What storing and reading back ENTRIES should give: folders that can be
// stored, except that an entry without a time whose line is 8 characters or
// less reads as debris.
std::vector<HistoryEntry> survivors(const std::vector<HistoryEntry>& entries)
{
    std::vector<HistoryEntry> kept;
    for (const HistoryEntry& entry : entries) {
        if (entry.strFolder.find_first_of(std::string("\n\t\0", 3)) != std::string::npos)
            continue;
        if (characterCount(DateTimeText(entry.dtUsed) + '\t' + entry.strFolder) <= 8)
            continue;
        kept.push_back(entry);
    }
    return kept;
}

bool same(const std::vector<HistoryEntry>& a, const std::vector<HistoryEntry>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const HistoryEntry& x, const HistoryEntry& y) {
        return x.dtUsed == y.dtUsed && x.strFolder == y.strFolder;
    });
}

// Entries from the input's pieces between 0x01 bytes: the first byte of a
// piece says whether the next eight give a time, the rest is the folder.
std::vector<HistoryEntry> entriesFrom(std::string_view bytes)
{
    std::vector<HistoryEntry> entries;
    while (!bytes.empty()) {
        std::size_t end = bytes.find('\x01');
        std::string_view piece = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);

        HistoryEntry entry;
        if (!piece.empty() && (piece[0] & 1) != 0 && piece.size() >= 9) {
            std::uint64_t bits = 0;
            std::memcpy(&bits, piece.data() + 1, 8);
            const std::uint64_t span = static_cast<std::uint64_t>(lastSecond - firstSecond) + 1;
            entry.dtUsed = DateTime::fromUnixSeconds(firstSecond + static_cast<std::int64_t>(bits % span));
            piece.remove_prefix(9);
        } else if (!piece.empty()) {
            piece.remove_prefix(1);
        }
        entry.strFolder = piece;
        entries.push_back(entry);
    }
    return entries;
}

void roundTrips(const std::vector<HistoryEntry>& entries)
{
    check(same(parseHistoryValue(formatHistoryValue(entries)), survivors(entries)),
        "stored entries read back in their order");
}

} // namespace

// Local time repeats an hour when the clocks go back, so a stored text need
// not name one second; in UTC it does, and a round trip can be exact.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("TZ", "UTC", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string value(reinterpret_cast<const char*>(data), size);
    const std::vector<HistoryEntry> parsed = parseHistoryValue(value);
    for (const HistoryEntry& entry : parsed)
        check(entry.strFolder.find_first_of("\n\t") == std::string::npos, "a folder holds no LF and no TAB");
    roundTrips(parsed);
    roundTrips(entriesFrom(value));
    return 0;
}

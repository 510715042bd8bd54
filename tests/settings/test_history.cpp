#include "settings/history.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

namespace {

// Minutes after mid-January noon: no daylight-saving change near it anywhere.
DateTime at(int minutes)
{
    return DateTime::fromUnixSeconds(1705320000 + 60 * minutes);
}

std::vector<std::string> folders(const std::vector<HistoryEntry>& entries)
{
    std::vector<std::string> names;
    for (const HistoryEntry& entry : entries)
        names.push_back(entry.strFolder);
    return names;
}

// The history sort as first written, a plain recursive quicksort: the order
// of equal times that stored histories were read with.
void referenceSort(int first, int last, std::vector<HistoryEntry>& entries)
{
    if (first >= last)
        return;
    const int middle = (first + last) / 2;
    const HistoryEntry pivot = entries[middle];
    entries[middle] = entries[first];
    int k = first;
    for (int i = first + 1; i <= last; ++i) {
        if (pivot.dtUsed < entries[i].dtUsed)
            std::swap(entries[++k], entries[i]);
    }
    entries[first] = entries[k];
    entries[k] = pivot;
    referenceSort(first, k - 1, entries);
    referenceSort(k + 1, last, entries);
}

std::string storedEntry(int minutes, const std::string& folder)
{
    return DateTimeText(at(minutes)) + "\t" + folder;
}

} // namespace

TEST(HistoryValue, CountsCharactersNotBytesAndRoundTripsWhatItCanStore)
{
    // "\t/日本語" is 5 characters (11 bytes) and dropped; 9 characters are kept.
    EXPECT_EQ(folders(parseHistoryValue("\t/日本語\n\t/日本語フォルダ名\n1234\t678")),
        std::vector<std::string> { "/日本語フォルダ名" });

    // A folder holding LF would come back as "/tmp/a"; one holding NUL would
    // end the value early. Both are left out, the rest reads back as it was.
    const std::vector<HistoryEntry> entries { { at(3), " /lead and trail " }, { DateTime(), "/no/time/but/long" },
        { at(2), "/tmp/a\n/b/c/d/e" }, { at(4), std::string("/nul\0/x", 7) }, { at(1), "/写真,2024" } };
    const std::vector<HistoryEntry> back = parseHistoryValue(formatHistoryValue(entries));
    ASSERT_EQ(folders(back), (std::vector<std::string> { " /lead and trail ", "/no/time/but/long", "/写真,2024" }));
    EXPECT_EQ(back[0].dtUsed, at(3));
    EXPECT_TRUE(back[1].dtUsed.isZero());
    EXPECT_EQ(back[2].dtUsed, at(1));
}

TEST(SortHistByTime, OrdersEqualTimesAsTheProcedureDoes)
{
    // By hand: m = 2, pivot C; B and D move ahead of it and D lands first:
    // D B C A E. Then 0..1 (pivot D) and 3..4 (pivot A) stay as they are.
    std::vector<HistoryEntry> mixed { { at(1), "A" }, { at(2), "B" }, { at(1), "C" }, { at(2), "D" }, { at(1), "E" } };
    SortHistByTime(0, 4, mixed);
    EXPECT_EQ(folders(mixed), (std::vector<std::string> { "D", "B", "C", "A", "E" }));

    // All equal: m = 1 puts B first; 1..3 (m = 2, pivot C) gives C A D.
    std::vector<HistoryEntry> equal { { at(1), "A" }, { at(1), "B" }, { at(1), "C" }, { at(1), "D" } };
    SortHistByTime(0, 3, equal);
    EXPECT_EQ(folders(equal), (std::vector<std::string> { "B", "C", "A", "D" }));

    // Only the range moves; the zero time goes last.
    std::vector<HistoryEntry> ranged { { at(9), "out" }, { DateTime(), "zero" }, { at(3), "3" }, { at(7), "7" },
        { at(5), "5" }, { at(0), "out too" } };
    SortHistByTime(1, 4, ranged);
    EXPECT_EQ(folders(ranged), (std::vector<std::string> { "out", "7", "5", "3", "zero", "out too" }));
}

TEST(SortHistByTime, LeavesEqualTimesInTheOrderOfTheFirstProcedure)
{
    // Few distinct times, so that most entries share theirs with many others.
    std::mt19937 random(14);
    for (int round = 0; round < 3000; ++round) {
        const int size = static_cast<int>(random() % 80);
        const int times = 1 + static_cast<int>(random() % 5);
        std::vector<HistoryEntry> entries;
        for (int i = 0; i < size; ++i)
            entries.push_back(
                { random() % 7 ? at(static_cast<int>(random()) % times) : DateTime(), std::to_string(i) });
        const int first = size ? static_cast<int>(random() % size) : 0;
        const int last = size ? first + static_cast<int>(random() % (size - first)) : -1;
        std::vector<HistoryEntry> expected = entries;
        referenceSort(first, last, expected);
        SortHistByTime(first, last, entries);
        ASSERT_EQ(folders(entries), folders(expected)) << "round " << round;
    }

    // The first procedure needed minutes for this; a return of it shows as
    // the test's time limit running out.
    std::vector<HistoryEntry> same(300000, { at(1), "/same" });
    same.push_back({ at(2), "/newest" });
    SortHistByTime(0, static_cast<int>(same.size()) - 1, same);
    EXPECT_EQ(same.front().strFolder, "/newest");
}

TEST(HistoryValue, ReadsNoMoreThanItsCaps)
{
    std::string value;
    for (std::size_t i = 0; i <= kHistoryEntriesRead; ++i)
        value += storedEntry(0, "/folder/" + std::to_string(i)) + "\n";
    const std::vector<HistoryEntry> read = parseHistoryValue(value);
    ASSERT_EQ(read.size(), kHistoryEntriesRead);
    EXPECT_EQ(read.back().strFolder, "/folder/" + std::to_string(kHistoryEntriesRead - 1));

    // Past the byte cap only whole entries count.
    const std::string tail = storedEntry(1, "/x" + std::string(kHistoryValueBytes, 'x'));
    EXPECT_EQ(folders(parseHistoryValue(storedEntry(2, "/kept") + "\n" + tail)), std::vector<std::string> { "/kept" });
    EXPECT_TRUE(parseHistoryValue(tail).empty());
}

// Every history-* file under regressions/ is a stored value that once troubled
// the reader or stands for one that could (dates out of range, NUL and broken
// UTF-8 in folders, pieces of TABs only). Each must read without harm, and its
// entries with a time must survive being stored again.
TEST(HistoryValue, RegressionInputsReadCleanly)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(REGRESSIONS_DIR)) {
        if (entry.path().filename().string().rfind("history-", 0) != 0)
            continue;
        ++files;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string value { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };

        const std::vector<HistoryEntry> entries = parseHistoryValue(value);
        std::vector<std::string> storable;
        for (const HistoryEntry& read : entries) {
            EXPECT_EQ(read.strFolder.find_first_of("\n\t"), std::string::npos) << entry.path();
            if (!read.dtUsed.isZero() && read.strFolder.find('\0') == std::string::npos)
                storable.push_back(read.strFolder);
        }
        std::vector<std::string> again;
        for (const HistoryEntry& read : parseHistoryValue(formatHistoryValue(entries))) {
            if (!read.dtUsed.isZero())
                again.push_back(read.strFolder);
        }
        EXPECT_EQ(again, storable) << entry.path();
    }
    EXPECT_GT(files, 0) << "no history-* files in " << REGRESSIONS_DIR;
}

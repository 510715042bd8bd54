#include "sortstrings.h"

#include <QCollator>
#include <QLocale>
#include <utility>

namespace {

// Quicksort with the middle item as pivot: the pivot's place is filled with
// the first item, items strictly below the pivot are swapped forward behind
// the first place, then the last of them takes the first place and the pivot
// its own. This is the folder histories' sort (SortHistByTime) with another
// comparison, and it is kept step for step for the order of equal items.
//
// The two ranges left after a partition are disjoint, so sorting them in
// either order gives the same result: the smaller one is sorted by recursion
// and the larger one by the loop, which keeps the stack shallow even when a
// long list holds many equal items (a run of spaces gives many empty ones).
void sortRange(int first, int last, QStringList& items, const QCollator& collator)
{
    while (first < last) {
        const int middle = (first + last) / 2;
        QString pivot = std::move(items[middle]);
        items[middle] = items[first];

        int k = first;
        for (int i = first + 1; i <= last; ++i) {
            if (collator.compare(items[i], pivot) < 0) {
                ++k;
                items.swapItemsAt(k, i);
            }
        }
        items[first] = items[k];
        items[k] = std::move(pivot);

        if (k - first < last - k) {
            sortRange(first, k - 1, items, collator);
            first = k + 1;
        } else {
            sortRange(k + 1, last, items, collator);
            last = k - 1;
        }
    }
}

} // namespace

void SortStrings(int first, int last, QStringList& items)
{
    if (first >= last || first < 0 || last >= items.size())
        return;
    QCollator collator { QLocale() };
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    sortRange(first, last, items, collator);
}

// The quicksort behind the folder histories and the extension lists. Their
// order of equal items is the one this exact procedure leaves, and stored
// histories and look-ups by time depend on it, so it is kept step for step:
//
// the middle item is the pivot and the first item takes its place; every
// item that goes before the pivot (BEFORE(item, pivot)) is swapped forward
// behind the first place; the last of those takes the first place and the
// pivot its own; then both sides are sorted the same way.
//
// The two sides are disjoint, so sorting them in either order gives the same
// result: the smaller side is sorted by recursion and the larger by the loop,
// which keeps the stack shallow even when every item is equal.
#pragma once

#include <utility>

template <typename Items, typename Before> void pivotSort(int first, int last, Items& items, const Before& before)
{
    using std::swap;
    while (first < last) {
        const int middle = (first + last) / 2;
        auto pivot = std::move(items[middle]);
        items[middle] = items[first];

        int k = first;
        for (int i = first + 1; i <= last; ++i) {
            if (before(items[i], pivot)) {
                ++k;
                swap(items[k], items[i]);
            }
        }
        items[first] = items[k];
        items[k] = std::move(pivot);

        if (k - first < last - k) {
            pivotSort(first, k - 1, items, before);
            first = k + 1;
        } else {
            pivotSort(k + 1, last, items, before);
            last = k - 1;
        }
    }
}

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
//
// Taken literally the procedure is quadratic on equal items: a pivot that
// nothing goes before (one of the range's "front" items) sets off a full scan
// that swaps nothing, only to move the pivot to the first place and the first
// item to the middle. Each range therefore carries one front item and the
// number of front items in it. A pivot equal to that item is known to find
// nothing and takes its place at once; every item moves exactly as the full
// scan would have moved it, only the comparisons with known answers are
// skipped. A range whose front is unknown (none carried, or all of them
// placed) is scanned once to find it. So a range of equal items costs one
// scan in all, and the result is the literal procedure's, item for item.
#pragma once

#include <optional>
#include <type_traits>
#include <utility>

namespace pivotsort_detail {

template <typename Items, typename Before, typename Item>
void sortRange(int first, int last, Items& items, const Before& before, std::optional<Item> front, int frontCount)
{
    using std::swap;
    while (first < last) {
        if (frontCount == 0) {
            int at = first;
            frontCount = 1;
            for (int i = first + 1; i <= last; ++i) {
                if (before(items[i], items[at])) {
                    at = i;
                    frontCount = 1;
                } else if (!before(items[at], items[i])) {
                    ++frontCount;
                }
            }
            front = items[at];
        }

        const int middle = (first + last) / 2;
        auto pivot = std::move(items[middle]);
        items[middle] = items[first];

        // No front item goes before another, and every front item goes before
        // any item that is not one: the pivot is a front item exactly when the
        // carried one does not go before it.
        if (!before(*front, pivot)) {
            items[first] = std::move(pivot);
            ++first;
            --frontCount;
            continue;
        }

        // Every front item goes before the pivot and ends on its near side;
        // the far side's front items are those equal to the pivot, if any.
        int k = first;
        int equal = 0;
        for (int i = first + 1; i <= last; ++i) {
            if (before(items[i], pivot)) {
                ++k;
                swap(items[k], items[i]);
            } else if (!before(pivot, items[i])) {
                ++equal;
            }
        }
        items[first] = items[k];
        items[k] = std::move(pivot);
        std::optional<Item> farFront;
        if (equal > 0)
            farFront = items[k];

        if (k - first < last - k) {
            sortRange(first, k - 1, items, before, front, frontCount);
            first = k + 1;
            front = std::move(farFront);
            frontCount = equal;
        } else {
            sortRange(k + 1, last, items, before, std::move(farFront), equal);
            last = k - 1;
        }
    }
}

} // namespace pivotsort_detail

template <typename Items, typename Before> void pivotSort(int first, int last, Items& items, const Before& before)
{
    if (first >= last)
        return;
    using Item = std::decay_t<decltype(items[first])>;
    pivotsort_detail::sortRange<Items, Before, Item>(first, last, items, before, std::nullopt, 0);
}

// Sorting of extension lists, as the filter dialog orders them.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <QStringList>

// Sorts items[first..last] ascending by the collation of the application's
// locale (QLocale(): the user's, unless the program set another default),
// ignoring letter case.
//
// The procedure is a particular quicksort (see the .cpp), and items that
// compare equal, such as "DOC" and "doc", end up in the order it leaves them,
// which need not be their original order. The order decides how a list reads
// and which of two equal entries comes first, so it is part of the contract.
// Nothing happens when first is not below last or the range lies outside ITEMS.
void SortStrings(int first, int last, QStringList& items);

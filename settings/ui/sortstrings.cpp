#include "sortstrings.h"

#include "util/pivotsort.h"

#include <QCollator>
#include <QLocale>

void SortStrings(int first, int last, QStringList& items)
{
    if (first >= last || first < 0 || last >= items.size())
        return;
    QCollator collator { QLocale() };
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    pivotSort(first, last, items,
        [&collator](const QString& item, const QString& pivot) { return collator.compare(item, pivot) < 0; });
}

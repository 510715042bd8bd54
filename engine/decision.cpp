#include "decision.h"

Verdict decideCopy(
    bool filteredOut, std::int64_t srcSeconds, std::optional<std::int64_t> dstSeconds, double ignSec, bool sameSize)
{
    if (filteredOut)
        return Verdict::FilteredOut;
    if (!dstSeconds || (!sameSize && *dstSeconds <= srcSeconds))
        return Verdict::Copy;
    if (srcSeconds <= *dstSeconds)
        return Verdict::NotNewer;
    // Both times are whole seconds and the source is later, so the difference is positive.
    if (ignSec > 0 && static_cast<double>(srcSeconds - *dstSeconds) <= ignSec)
        return Verdict::WithinTolerance;
    return Verdict::Copy;
}

#pragma once

#include <cstdint>
#include <optional>

// Why a file is or is not copied.
enum class Verdict {
    Copy, // missing at the destination, or newer at the source beyond the tolerance
    FilteredOut, // the extension filter passes over it
    NotNewer, // the source is not later than the destination
    WithinTolerance, // later, but by no more than the tolerance
};

// The update rule for one file. Times are whole seconds (UTC); dstSeconds is
// empty when the destination file does not exist or cannot be read. A
// tolerance of 0 or less (or not a number) means none.
//
// SAME_SIZE tells whether the destination's size is the source's. A
// destination that is not later than its source but of another size is not a
// copy of it: a power cut after a copy can leave a file with the source's time
// and none or part of its data (the time is written before the data reach the
// disk). It is copied again; a destination later than its source never is.
Verdict decideCopy(bool filteredOut, std::int64_t srcSeconds, std::optional<std::int64_t> dstSeconds, double ignSec,
    bool sameSize = true);

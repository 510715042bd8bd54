#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Removes from the folder DIR_FD (O_PATH will do) the hidden temporaries
// ".NAME.vst-tmp-XXXXXXXXXX" that copies of this program left behind when they
// were killed, and returns how many it removed. A temporary is taken for one
// only when everything says so: the exact name pattern, a name that the
// source folder does not have (IS_SOURCE_NAME, when given: a user's file
// copied from there is never one), a regular file with a single link, owned by
// the user running the program, and its lock free. The copy holds that lock
// for as long as the temporary has its name, so a free lock means no process
// is copying into it any more.
//
// CAPS says what the folder's file system was found to do (the helper
// library's QVU_FS_* bits, 0 when not known). Where a file that is open cannot
// be removed (SMB), a temporary is closed before it is removed. Where a rename
// cannot replace a file in one step, a copy sets the old file aside as
// ".NAME.vst-old-XXXXXXXXXX" for a moment; one that a killed copy left there is
// put back under NAME when NAME is missing, and removed when NAME holds the
// new file. Both count as removed.
//
// The caller must not be copying into the folder itself meanwhile: on a
// network file system that emulates the lock with a process's record locks, a
// process does not conflict with its own lock.
int removeStaleTemporaries(
    int dirFd, std::int32_t caps = 0, const std::function<bool(const std::string&)>& isSourceName = {});

// Whether NAME has the form of such a temporary.
bool looksLikeTemporary(const char* name);

// The name NAME was set aside from when it has the form of an old file set
// aside (".NAME.vst-old-XXXXXXXXXX", not shortened), otherwise empty.
std::string setAsideFrom(const char* name);

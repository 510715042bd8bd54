#pragma once

// Removes from the folder DIR_FD (O_PATH will do) the hidden temporaries
// ".NAME.vst-XXXXXX" that copies of this program left behind when they were
// killed, and returns how many it removed. A temporary is taken for one only
// when everything says so: the exact name pattern, a regular file with a
// single link, owned by the user running the program, and its lock free. The
// copy holds that lock for as long as the temporary has its name, so a free
// lock means no process is copying into it any more.
//
// The caller must not be copying into the folder itself meanwhile: on a
// network file system that emulates the lock with a process's record locks, a
// process does not conflict with its own lock.
int removeStaleTemporaries(int dirFd);

// Whether NAME has the form of such a temporary.
bool looksLikeTemporary(const char* name);

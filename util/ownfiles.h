// The files the program opens for itself: the copy set, the background
// picture, the log and the settings file. Each must be a regular file.
// Anything else is refused without waiting on it: opening a named pipe waits
// for its other end, which may never come, and a device may never end.
#pragma once

#include <cerrno>
#include <string>

// errno after a refusal because PATH is not a regular file.
constexpr int kNotRegularFile = EINVAL;

// PATH opened for reading (links followed) when it is a regular file: the
// descriptor (close-on-exec, blocking as usual), or -1 with errno set.
int openRegularForReading(const std::string& path);

// Whether PATH is a regular file (links followed) or names nothing yet, so
// that another reader may open it and a writer may create it. A file of the
// kernel's own file systems (/proc, /sys and their like), which claims to be
// regular, is not one to write.
bool isRegularOrMissing(const std::string& path);

// PATH opened for writing as a log: created when missing (mode 0666 less the
// umask), emptied when it exists. The descriptor, or -1 with errno set.
//
// A link at PATH is followed only when it belongs to the user running the
// program or to root (the kernel's protected_symlinks rule, which a system
// may have switched off): another user's link in a shared folder must not
// make us empty a file of ours. The file must be regular, and it must not be
// NOT_THIS (the copy set the run was read from, by device and inode, under
// any of its names) nor a file of the kernel's (as above). Nothing is created through a link that fails these
// checks, and nothing is emptied before all of them have passed.
int openLogForWriting(const std::string& path, const std::string& notThis);

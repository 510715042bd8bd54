#include "staletemps.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kTag[] = ".vst-";
constexpr size_t kTagLength = sizeof kTag - 1;
constexpr size_t kRandomChars = 6;

bool isAlnum(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

} // namespace

// ".NAME.vst-XXXXXX" with a NAME of at least one byte and six letters or digits.
bool looksLikeTemporary(const char* name)
{
    const size_t length = std::strlen(name);
    if (name[0] != '.' || length < 2 + kTagLength + kRandomChars)
        return false;
    const char* random = name + length - kRandomChars;
    if (std::memcmp(random - kTagLength, kTag, kTagLength) != 0)
        return false;
    for (size_t i = 0; i < kRandomChars; ++i)
        if (!isAlnum(random[i]))
            return false;
    return true;
}

namespace {

// Removes NAME when it is a temporary nobody holds; true when it was removed.
bool removeIfStale(int dirFd, const char* name, uid_t euid)
{
    // O_NONBLOCK: a FIFO of that name must not hold the walk up.
    const int fd = openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool removed = false;
    struct stat opened;
    struct stat named;
    // A copy holds an exclusive lock, so a shared one is to be had only from
    // a dead copy (and asks for no write access, which network file systems
    // would want for an exclusive one). It is kept until the name is gone, so
    // that a copy that created this very name a moment ago sees the sweep and
    // moves to another name.
    if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_nlink == 1 && opened.st_uid == euid
        && flock(fd, LOCK_SH | LOCK_NB) == 0 && fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0
        && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
        removed = unlinkat(dirFd, name, 0) == 0;
    close(fd);
    return removed;
}

} // namespace

int removeStaleTemporaries(int dirFd)
{
    const int listFd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return 0;
    DIR* dir = fdopendir(listFd);
    if (!dir) {
        close(listFd);
        return 0;
    }
    const uid_t euid = geteuid();
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        if ((entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN) && looksLikeTemporary(entry->d_name)
            && removeIfStale(dirFd, entry->d_name, euid))
            ++removed;
    }
    closedir(dir);
    return removed;
}

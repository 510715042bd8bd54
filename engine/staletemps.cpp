#include "staletemps.h"

#include "qvutil/qvutil.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kTag[] = QVU_TEMPORARY_TAG;
constexpr size_t kTagLength = sizeof kTag - 1;
constexpr char kAsideTag[] = QVU_ASIDE_TAG;
constexpr size_t kAsideTagLength = sizeof kAsideTag - 1;
constexpr size_t kRandomChars = QVU_RANDOM_CHARS;

bool isAlnum(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// ".NAME" + TAG + kRandomChars letters or digits, with a NAME of at least one byte.
bool hasHiddenForm(const char* name, const char* tag, size_t tagLength)
{
    const size_t length = std::strlen(name);
    if (name[0] != '.' || length < 2 + tagLength + kRandomChars)
        return false;
    const char* random = name + length - kRandomChars;
    if (std::memcmp(random - tagLength, tag, tagLength) != 0)
        return false;
    for (size_t i = 0; i < kRandomChars; ++i)
        if (!isAlnum(random[i]))
            return false;
    return true;
}

} // namespace

bool looksLikeTemporary(const char* name)
{
    return hasHiddenForm(name, kTag, kTagLength);
}

std::string setAsideFrom(const char* name)
{
    // A name the copy had to shorten cannot tell where it came from; cut at
    // the start of a character, it is up to three bytes short of the longest.
    const size_t length = std::strlen(name);
    if (!hasHiddenForm(name, kAsideTag, kAsideTagLength) || length + 3 >= NAME_MAX)
        return {};
    return std::string(name + 1, length - 1 - kAsideTagLength - kRandomChars);
}

namespace {

// Removes NAME when it is a temporary nobody holds; true when it was removed.
bool removeIfStale(int dirFd, const char* name, uid_t euid, std::int32_t caps)
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
        && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
        if ((caps & QVU_FS_PROBED) && !(caps & QVU_FS_RENAME_OPEN)) {
            close(fd);
            return unlinkat(dirFd, name, 0) == 0;
        }
        removed = unlinkat(dirFd, name, 0) == 0;
    }
    close(fd);
    return removed;
}

// Puts the old file ASIDE back under ORIGINAL, or removes it when ORIGINAL
// holds the new file; true when it did either.
bool settleSetAside(int dirFd, const char* aside, const std::string& original, uid_t euid, std::int32_t caps)
{
    struct stat st;
    if (fstatat(dirFd, aside, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1
        || st.st_uid != euid)
        return false;
    if (fstatat(dirFd, original.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return unlinkat(dirFd, aside, 0) == 0;
    if (errno != ENOENT)
        return false;
    const unsigned flags = (caps & QVU_FS_NOREPLACE) ? RENAME_NOREPLACE : 0;
    return renameat2(dirFd, aside, dirFd, original.c_str(), flags) == 0;
}

} // namespace

int removeStaleTemporaries(int dirFd, std::int32_t caps, const std::function<bool(const std::string&)>& isSourceName)
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
    // Old files are set aside only where a rename cannot replace in one step.
    const bool asides = (caps & QVU_FS_PROBED) && !(caps & QVU_FS_REPLACE);
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
            continue;
        // A name the source has is a file of the user's, however it looks.
        if ((looksLikeTemporary(entry->d_name) || asides) && isSourceName && isSourceName(entry->d_name))
            continue;
        if (looksLikeTemporary(entry->d_name)) {
            removed += removeIfStale(dirFd, entry->d_name, euid, caps);
        } else if (asides) {
            const std::string original = setAsideFrom(entry->d_name);
            if (!original.empty())
                removed += settleSetAside(dirFd, entry->d_name, original, euid, caps);
        }
    }
    closedir(dir);
    return removed;
}

#include "ownfiles.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// The kernel's own file systems call their files regular, but such a file is
// an interface to the kernel, not a place for data: writing it acts on the
// system (/proc/self/comm takes a log's first line for the program's name,
// drops the rest and reports success). Nothing in the file itself tells them
// from files kept in memory, which are fine (tmpfs and ramfs files too have
// no blocks and no backing device), so the file system's type does. Reading
// is left alone: the mount tables are read from /proc.
bool isKernelInterface(const struct statfs& fs)
{
    constexpr unsigned long kConfigfsMagic = 0x62656570; // not in <linux/magic.h>
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case SELINUX_MAGIC:
    case SMACK_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case BPF_FS_MAGIC:
    case EFIVARFS_MAGIC:
    case PSTOREFS_MAGIC:
    case BINFMTFS_MAGIC:
    case kConfigfsMagic:
        return true;
    default:
        return false;
    }
}

// O_NONBLOCK only for the open itself (so that a pipe does not wait for its
// other end); the regular file's reads and writes then block as usual.
int keptIfRegular(int fd)
{
    struct stat st { };
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = kNotRegularFile;
    else if (const int flags = fcntl(fd, F_GETFL); flags == -1 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1)
        error = errno;
    if (error == 0)
        return fd;
    close(fd);
    errno = error;
    return -1;
}

bool linkMayBeFollowed(const struct stat& link)
{
    return link.st_uid == geteuid() || link.st_uid == 0;
}

bool sameLink(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_uid == b.st_uid;
}

// Opens an existing log without creating anything: the file itself, or
// through a link that may be followed. -1 with ENOENT when nothing is there.
int openExistingLog(const std::string& path)
{
    constexpr int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = open(path.c_str(), flags | O_NOFOLLOW);
    if (fd >= 0 || errno != ELOOP)
        return fd;

    // A link. Checked, followed, and checked again to be still the same link,
    // so that one swapped in meanwhile is not taken for the one checked.
    struct stat link { };
    if (lstat(path.c_str(), &link) != 0)
        return -1;
    if (!S_ISLNK(link.st_mode) || !linkMayBeFollowed(link)) {
        errno = EACCES;
        return -1;
    }
    fd = open(path.c_str(), flags | O_CREAT, 0666);
    struct stat again { };
    if (fd >= 0 && (lstat(path.c_str(), &again) != 0 || !sameLink(link, again))) {
        close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

} // namespace

int openRegularForReading(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    return fd < 0 ? -1 : keptIfRegular(fd);
}

bool isRegularOrMissing(const std::string& path)
{
    struct stat st { };
    struct statfs fs { };
    if (stat(path.c_str(), &st) == 0)
        return S_ISREG(st.st_mode) && statfs(path.c_str(), &fs) == 0 && !isKernelInterface(fs);
    return errno == ENOENT;
}

int openLogForWriting(const std::string& path, const std::string& notThis)
{
    int fd = openExistingLog(path);
    // Missing: made here, never through a link (O_EXCL does not follow one).
    // Should another process make it meanwhile, it is opened as it stands.
    for (int attempt = 0; fd < 0 && errno == ENOENT && attempt < 3; ++attempt) {
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            fd = openExistingLog(path);
    }
    if (fd < 0)
        return -1;
    fd = keptIfRegular(fd);
    if (fd < 0)
        return -1;

    struct stat log { };
    struct statfs fs { };
    struct stat other { };
    if (fstat(fd, &log) != 0 || fstatfs(fd, &fs) != 0 || isKernelInterface(fs)
        || (!notThis.empty() && stat(notThis.c_str(), &other) == 0 && other.st_dev == log.st_dev
            && other.st_ino == log.st_ino)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    if (ftruncate(fd, 0) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

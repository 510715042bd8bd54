/*
 * qvuCopyFile: replaces DST with a copy of SRC so that DST's name never shows
 * a partial file and a failed copy leaves the old DST exactly as it was.
 *
 * 1. The source is opened and must be a regular file; the destination, when
 *    it exists, must be a regular file with at least one write bit (a file
 *    without any counts as read-only, for root too).
 * 2. The data go into a temporary file in DST's folder: an unnamed one
 *    (O_TMPFILE) where the file system has them, so that even a killed process
 *    leaves nothing behind, otherwise a hidden ".NAME.vst-XXXXXX" created
 *    exclusively. They travel by the cheapest route the kernel offers: a
 *    reflink (FICLONE), then copy_file_range, then read and write. A source
 *    with holes is copied extent by extent, and its holes stay holes where
 *    the destination's file system can hold them.
 * 3. The temporary gets the source's permission bits and times, then DST's
 *    name: an unnamed file is linked in directly when DST does not exist, and
 *    otherwise, like a named one, renamed over DST.
 *
 * Only the bytes the source had when it was opened are copied: a file that
 * grows meanwhile gives that prefix, and one that claims size 0 gives an empty
 * copy, whatever it would yield when read (kernel files such as
 * /proc/self/pagemap read on for gigabytes).
 *
 * A hidden temporary is locked (flock) for as long as it has its name, from
 * before the name appears until after the rename; a process killed meanwhile
 * loses the lock with its life. Later runs remove the temporaries whose lock
 * they can take (engine/staletemps.cpp): the lock, unlike a process id or an
 * age, is released by the kernel the moment its holder dies, cannot be
 * mistaken for a recycled process, and works between the hosts of a network
 * file system.
 *
 * There is no fsync, as with cp: the copy is as durable as any other write.
 */
#include "qvutil.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#define HIDDEN_TAG ".vst-"
#define RANDOM_CHARS 6
#define HIDDEN_EXTRA (1 + sizeof HIDDEN_TAG - 1 + RANDOM_CHARS) /* leading '.', tag, random part */
#define NAME_ATTEMPTS 100
#define LARGEST_CHUNK ((size_t)1 << 20)
#define RANGE_STEP ((off_t)1 << 30)
#define EAGER_CHECK_SIZE ((off_t)1 << 20)

/* DST taken apart: the folder that receives the temporary and the final name. */
struct target {
    const char* path;
    const char* name; /* points into path */
    size_t prefixLength; /* bytes of path before name */
    char dir[PATH_MAX];
};

/* What earlier copies into the same folder learned about the file systems, so
 * that copying a folder full of files does not repeat a refused call for each
 * one. It is only a hint: a stale entry costs speed, never correctness. */
struct route {
    char dir[PATH_MAX];
    dev_t sourceDevice;
    unsigned char known, noTmpfile, noClone, noRange, noNoReplace;
};

static _Thread_local struct route lastRoute;

/* Where the copy on this thread tells how far into the file it has come, or
 * null; with it the data goes in steps small enough to be watched. */
static _Thread_local _Atomic int64_t* copiedSink;

/* Where the copy on this thread tells the times its file carries, as read
 * back from it once they were set, or null. */
static _Thread_local struct timespec* stampedSink;
#define WATCHED_STEP ((off_t)1 << 23)

static void tellCopied(off_t reached)
{
    if (copiedSink)
        atomic_store_explicit(copiedSink, (int64_t)reached, memory_order_relaxed);
}

/* linkat(AT_EMPTY_PATH) needs CAP_DAC_READ_SEARCH; without it an unnamed file
 * is linked through /proc/self/fd. Where that fails too (no /proc), unnamed
 * temporaries are given up for the rest of the process. */
static atomic_int emptyPathRefused;
static atomic_int unnamedUnusable;

/* errno after a failed call; never 0, so that a failure cannot read as success. */
static int lastError(void)
{
    return errno ? errno : EIO;
}

/* Built with QVU_NAMED_TEMPORARIES_ONLY, every copy takes the route of file
 * systems without O_TMPFILE; the tests use it to cover that route. */
#ifdef QVU_NAMED_TEMPORARIES_ONLY
static const int tryUnnamed = 0;
#else
static const int tryUnnamed = 1;
#endif

static struct route* routeFor(const char* dir, dev_t sourceDevice)
{
    struct route* route = &lastRoute;
    if (!route->known || strcmp(route->dir, dir) != 0) {
        memset(route, 0, sizeof *route);
        strcpy(route->dir, dir);
        route->known = 1;
    } else if (route->sourceDevice != sourceDevice) {
        route->noClone = route->noRange = 0;
    }
    route->sourceDevice = sourceDevice;
    return route;
}

static int splitTarget(const char* dst, struct target* target)
{
    size_t length = strlen(dst);
    if (length == 0)
        return ENOENT;
    if (length >= PATH_MAX)
        return ENAMETOOLONG;
    const char* slash = strrchr(dst, '/');
    target->path = dst;
    target->name = slash ? slash + 1 : dst;
    target->prefixLength = (size_t)(target->name - dst);
    if (!*target->name)
        return EISDIR; /* "folder/" names a folder */
    if (!slash)
        strcpy(target->dir, ".");
    else if (slash == dst)
        strcpy(target->dir, "/");
    else {
        memcpy(target->dir, dst, (size_t)(slash - dst));
        target->dir[slash - dst] = '\0';
    }
    return 0;
}

/* Six characters from [A-Za-z0-9]; collisions are caught by O_EXCL or EEXIST. */
static void randomChars(char* out)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static _Thread_local uint64_t state;
    if (!state) {
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        state = ((uint64_t)now.tv_sec << 32) ^ (uint64_t)now.tv_nsec ^ ((uint64_t)getpid() << 16)
            ^ (uint64_t)(uintptr_t)&state;
        if (!state)
            state = 0x9e3779b97f4a7c15u;
    }
    for (int i = 0; i < RANDOM_CHARS; ++i) {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        out[i] = alphabet[((state * 0x2545f4914f6cdd1du) >> 33) % (sizeof alphabet - 1)];
    }
}

/* ".NAME.vst-XXXXXX" beside DST; NAME is shortened so the result stays a valid
 * file name. */
static void makeHiddenPath(const struct target* target, char* out)
{
    size_t nameLength = strlen(target->name);
    if (nameLength > NAME_MAX - HIDDEN_EXTRA)
        nameLength = NAME_MAX - HIDDEN_EXTRA;
    char* p = out;
    memcpy(p, target->path, target->prefixLength);
    p += target->prefixLength;
    *p++ = '.';
    memcpy(p, target->name, nameLength);
    p += nameLength;
    memcpy(p, HIDDEN_TAG, sizeof HIDDEN_TAG - 1);
    p += sizeof HIDDEN_TAG - 1;
    randomChars(p);
    p[RANDOM_CHARS] = '\0';
}

static int openSource(const char* src, struct stat* source)
{
    /* O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
     * O_NOATIME leaves the source's access time alone, which spares the file
     * system an inode update per file; only the owner may ask for it. */
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = open(src, flags | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = open(src, flags);
    if (fd < 0)
        return -lastError();
    int err = 0;
    if (fstat(fd, source) < 0)
        err = lastError();
    else if (S_ISDIR(source->st_mode))
        err = EISDIR;
    else if (!S_ISREG(source->st_mode))
        err = EINVAL;
    /* O_NONBLOCK means nothing for a regular file, so it may stay set. */
    if (err) {
        close(fd);
        return -err;
    }
    return fd;
}

/* What is known of DST: whether it was examined (or the caller vouched for
 * it), and whether it exists. */
struct destination {
    int checked, exists;
};

/* Refuses a DST that must not be replaced; 0 when it is missing or may be replaced. */
static int checkDestination(const char* dst, struct destination* destination)
{
    struct stat st;
    destination->checked = 1;
    if (stat(dst, &st) < 0) {
        destination->exists = 0;
        return errno == ENOENT ? 0 : lastError();
    }
    destination->exists = 1;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    /* A device, FIFO or socket is left alone rather than replaced by a file. */
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    if (!(st.st_mode & 0222))
        return EACCES;
    return 0;
}

/* Writes LENGTH bytes of DATA to FD at offset AT. */
static int writeAllAt(int fd, const char* data, size_t length, off_t at)
{
    while (length > 0) {
        ssize_t n = pwrite(fd, data, length, at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        if (n == 0)
            return ENOSPC;
        data += n;
        length -= (size_t)n;
        at += n;
    }
    return 0;
}

/* Copies the bytes [*AT, END) of IN to the same place in OUT by reading and
 * writing; *AT ends where the copy stopped, END or earlier where the source
 * has shrunk. */
static int copyByReadWrite(int in, int out, off_t* at, off_t end)
{
    if (*at >= end)
        return 0;
    size_t capacity = end - *at < (off_t)LARGEST_CHUNK ? (size_t)(end - *at) : LARGEST_CHUNK;
    char* buffer = malloc(capacity);
    if (!buffer)
        return ENOMEM;
    int err = 0;
    while (*at < end) {
        size_t want = capacity;
        if (end - *at < (off_t)want)
            want = (size_t)(end - *at);
        ssize_t n = pread(in, buffer, want, *at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = lastError();
            break;
        }
        if (n == 0)
            break;
        err = writeAllAt(out, buffer, (size_t)n, *at);
        if (err)
            break;
        *at += n;
        tellCopied(*at);
    }
    free(buffer);
    return err;
}

/* Copies the bytes [START, END) of IN to the same place in OUT, in the
 * kernel where it can (copy_file_range), otherwise by reading and writing.
 * *REACHED gets where the copy stopped: END, or earlier where the source has
 * shrunk. */
static int copyRange(int in, int out, off_t start, off_t end, struct route* route, off_t* reached)
{
    off_t inAt = start;
    off_t outAt = start;
    const off_t largestStep = copiedSink ? WATCHED_STEP : RANGE_STEP;
    while (!route->noRange && inAt < end) {
        off_t step = end - inAt < largestStep ? end - inAt : largestStep;
        ssize_t n = copy_file_range(in, &inAt, out, &outAt, (size_t)step, 0);
        if (n > 0) {
            tellCopied(inAt);
            continue;
        }
        if (n == 0)
            break; /* shrunk, or a file system that copies nothing: read/write finds out */
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP) {
            route->noRange = 1;
            break;
        }
        if (errno == EINVAL || errno == EPERM)
            break;
        return lastError();
    }
    /* Both offsets stand where copy_file_range left them, so read/write carries on from there. */
    int err = copyByReadWrite(in, out, &inAt, end);
    *reached = inAt;
    return err;
}

/* Gives OUT the length LENGTH (at least its present one). A file system that
 * will not lengthen a file by truncation (fusefat) gets the zeros written. */
static int setLength(int out, off_t length)
{
    if (ftruncate(out, length) == 0)
        return 0;
    if (errno != EPERM && errno != EINVAL && errno != EOPNOTSUPP && errno != ENOSYS)
        return lastError();
    struct stat st;
    if (fstat(out, &st) < 0)
        return lastError();
    off_t at = st.st_size;
    if (at >= length)
        return 0;
    size_t capacity = length - at < (off_t)LARGEST_CHUNK ? (size_t)(length - at) : LARGEST_CHUNK;
    char* zeros = calloc(1, capacity);
    if (!zeros)
        return ENOMEM;
    int err = 0;
    while (!err && at < length) {
        size_t want = length - at < (off_t)capacity ? (size_t)(length - at) : capacity;
        err = writeAllAt(out, zeros, want, at);
        at += (off_t)want;
    }
    free(zeros);
    return err;
}

/* Copies the data of a source with holes extent by extent (SEEK_DATA,
 * SEEK_HOLE), so that the holes stay holes where the destination can hold
 * them, and gives the copy its length, which the holes at the end do not.
 * Where the destination cannot hold holes (FAT, exFAT), its file system
 * writes the zeros itself. */
static int copyExtents(int in, int out, off_t size, struct route* route)
{
    off_t at = 0;
    off_t length = size;
    while (at < size) {
        off_t data = lseek(in, at, SEEK_DATA);
        off_t hole = size;
        if (data < 0) {
            if (errno == ENXIO)
                break; /* nothing but a hole from AT on */
            if (errno != EINVAL && errno != EOPNOTSUPP)
                return lastError();
            data = at; /* no extents known here: the rest is data */
        } else if (data >= size) {
            break;
        } else {
            hole = lseek(in, data, SEEK_HOLE);
            if (hole < 0 || hole > size)
                hole = size;
        }
        off_t reached;
        int err = copyRange(in, out, data, hole, route, &reached);
        if (err)
            return err;
        if (reached < hole) {
            length = reached; /* the source has shrunk */
            break;
        }
        at = hole;
    }
    return setLength(out, length);
}

/* A reflink takes the whole file as it is at that moment; what it grew by
 * since it was opened is cut off again. */
static int cloneData(int in, int out, off_t size)
{
    int r;
    do
        r = ioctl(out, FICLONE, in);
    while (r < 0 && errno == EINTR);
    if (r < 0)
        return lastError();
    struct stat cloned;
    if (fstat(out, &cloned) < 0)
        return lastError();
    if (cloned.st_size > size && ftruncate(out, size) < 0)
        return lastError();
    return 0;
}

/* Copies the source's data into OUT. SOURCE's size is the one it had when
 * it was opened: the copy stops there, or earlier where the source has
 * shrunk. A source that takes fewer blocks than its length has holes (or is
 * compressed); it is copied extent by extent, as cp --sparse=auto does. */
static int copyData(int in, int out, const struct stat* source, struct route* route)
{
    const off_t size = source->st_size;
    if (size == 0)
        return 0;

    if (!route->noClone) {
        int err = cloneData(in, out, size);
        if (err == 0) {
            tellCopied(size);
            return 0;
        }
        switch (err) {
        case EOPNOTSUPP:
        case ENOTTY:
        case ENOSYS:
        case EXDEV:
            route->noClone = 1;
            break;
        case EINVAL: /* this pair of files only, e.g. differing btrfs flags */
        case EPERM:
            break;
        default:
            return err;
        }
    }

    if ((off_t)source->st_blocks * 512 < size)
        return copyExtents(in, out, size, route);
    off_t reached;
    return copyRange(in, out, 0, size, route, &reached);
}

/* The process's umask, read once from /proc/self/status (reading it with
 * umask() would change it for a moment under other threads); -1 when unknown. */
static int processUmask(void)
{
    static atomic_int cached = -2;
    int mask = atomic_load_explicit(&cached, memory_order_relaxed);
    if (mask != -2)
        return mask;
    mask = -1;
    FILE* status = fopen("/proc/self/status", "re");
    if (status) {
        char line[128];
        unsigned value;
        while (fgets(line, sizeof line, status))
            if (sscanf(line, "Umask: %o", &value) == 1) {
                mask = (int)(value & 0777);
                break;
            }
        fclose(status);
    }
    atomic_store_explicit(&cached, mask, memory_order_relaxed);
    return mask;
}

/* The mode a temporary is created with. When the umask lets the source's
 * permission bits through unchanged, the temporary gets them at creation and
 * needs no fchmod; otherwise it starts private and is given them afterwards.
 * (Should the umask have become stricter since it was read, the copy comes out
 * with fewer permissions, never more.) */
static mode_t creationMode(const struct stat* source, int* needChmod)
{
    mode_t wanted = source->st_mode & 07777;
    int mask = processUmask();
    *needChmod = mask < 0 || (wanted & ~(mode_t)mask) != wanted || (wanted & 07000);
    return *needChmod ? 0600 : wanted;
}

static int fillTemporary(int in, int out, const struct stat* source, struct route* route, int needChmod)
{
    int err = copyData(in, out, source, route);
    if (err)
        return err;
    /* File systems that cannot hold Unix permission bits (FAT, exFAT) refuse
     * some modes with EPERM; the copy is still good there. */
    if (needChmod && fchmod(out, source->st_mode & 07777) < 0 && errno != EPERM && errno != EOPNOTSUPP)
        return lastError();
    const struct timespec times[2] = { source->st_atim, source->st_mtim };
    if (futimens(out, times) < 0)
        return lastError();
    /* Read back, for a caller that would otherwise look them up by name: a
     * file system may keep them coarser, or drop them (fusefat). */
    struct stat stamped;
    if (stampedSink && fstat(out, &stamped) == 0) {
        stampedSink[0] = stamped.st_atim;
        stampedSink[1] = stamped.st_mtim;
    }
    return 0;
}

/* Locks the temporary FD before it has a name (an unnamed file) or as soon as
 * it has one (NAMED). Returns a second descriptor of the same open file
 * that holds the lock while FD is closed before the rename (the close reports
 * a write that failed late, on network file systems), -1 with *ERR 0 when the
 * file system refuses the lock (a sweep cannot lock the file there either, and
 * leaves it alone), or -1 with *ERR set.
 *
 * A named file is visible for a moment before it is locked; a sweep that took
 * its lock meanwhile is removing it. That shows as EWOULDBLOCK here, or as a
 * file without a link once the sweep is done; *ERR is then EEXIST, and the
 * caller tries another name. */
static int lockTemporary(int fd, int named, int* err)
{
    *err = 0;
    if (flock(fd, LOCK_EX | LOCK_NB) < 0) {
        if (errno == EWOULDBLOCK)
            *err = EEXIST;
        return -1;
    }
    if (named) {
        struct stat st;
        if (fstat(fd, &st) < 0) {
            *err = lastError();
            return -1;
        }
        if (st.st_nlink == 0) {
            *err = EEXIST;
            return -1;
        }
    }
    int keeper = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (keeper < 0)
        *err = lastError();
    return keeper;
}

/* Gives the temporary at HIDDEN the name DST. A DST believed missing is not
 * replaced unseen: where the file system can refuse to replace, a DST that
 * has appeared meanwhile is examined first, as any existing one. */
static int renameOver(const char* hidden, const char* dst, struct destination* destination, struct route* route)
{
    if (!destination->exists && !route->noNoReplace) {
        if (renameat2(AT_FDCWD, hidden, AT_FDCWD, dst, RENAME_NOREPLACE) == 0)
            return 0;
        if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
            route->noNoReplace = 1;
        } else if (errno != EEXIST) {
            return lastError();
        } else {
            int err = checkDestination(dst, destination);
            if (err)
                return err;
        }
    }
    return rename(hidden, dst) < 0 ? lastError() : 0;
}

/* Closes FD and gives the temporary at HIDDEN the name DST, or removes it. */
static int renameTemporary(
    int fd, int keeper, const char* hidden, const char* dst, struct destination* destination, struct route* route)
{
    int err = close(fd) < 0 ? lastError() : 0;
    if (!err)
        err = renameOver(hidden, dst, destination, route);
    if (err)
        unlink(hidden);
    if (keeper >= 0)
        close(keeper);
    return err;
}

/* Gives an O_TMPFILE file the name PATH; EEXIST when PATH is taken. */
static int linkUnnamed(int fd, const char* path)
{
    int triedEmptyPath = 0;
    if (!atomic_load_explicit(&emptyPathRefused, memory_order_relaxed)) {
        if (linkat(fd, "", AT_FDCWD, path, AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT && errno != EPERM)
            return lastError();
        triedEmptyPath = 1;
    }
    char proc[32];
    snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (linkat(AT_FDCWD, proc, AT_FDCWD, path, AT_SYMLINK_FOLLOW) < 0)
        return lastError();
    if (triedEmptyPath)
        atomic_store_explicit(&emptyPathRefused, 1, memory_order_relaxed);
    return 0;
}

/* Names the filled O_TMPFILE file FD as DST and closes it. */
static int publishUnnamed(int fd, const struct target* target, struct destination* destination, struct route* route)
{
    int err;
    if (!destination->exists) {
        err = linkUnnamed(fd, target->path);
        if (!err) {
            /* DST did not exist before, so nothing is lost by taking it back. */
            if (close(fd) < 0) {
                err = lastError();
                unlink(target->path);
            }
            return err;
        }
        /* DST is there after all: it must pass the checks before it is replaced. */
        if (err == EEXIST)
            err = checkDestination(target->path, destination);
        if (err && err != EEXIST) {
            close(fd);
            return err;
        }
    }
    /* DST exists: a link cannot replace it, a rename can. */
    int keeper = lockTemporary(fd, 0, &err);
    if (err) {
        close(fd);
        return err;
    }
    char hidden[PATH_MAX + NAME_MAX + 2];
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        makeHiddenPath(target, hidden);
        err = linkUnnamed(fd, hidden);
        if (err != EEXIST)
            break;
    }
    if (err) {
        close(fd);
        if (keeper >= 0)
            close(keeper);
        return err;
    }
    return renameTemporary(fd, keeper, hidden, target->path, destination, route);
}

/* Creates and locks a named temporary; its lock keeper goes to *KEEPER. */
static int createHidden(const struct target* target, char* hidden, mode_t mode, int* keeper)
{
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        makeHiddenPath(target, hidden);
        int fd = open(hidden, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        int err;
        *keeper = lockTemporary(fd, 1, &err);
        if (!err)
            return fd;
        close(fd);
        if (err != EEXIST) {
            unlink(hidden);
            errno = err;
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

static int replaceDestination(
    int in, const struct stat* source, const struct target* target, struct destination* destination)
{
    struct route* route = routeFor(target->dir, source->st_dev);
    int err;
    int retried = 0;
    int needChmod;
    const mode_t mode = creationMode(source, &needChmod);

    if (tryUnnamed && !route->noTmpfile && !atomic_load_explicit(&unnamedUnusable, memory_order_relaxed)) {
        int fd = open(target->dir, O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0) {
            err = fillTemporary(in, fd, source, route, needChmod);
            if (err) {
                close(fd);
                return err;
            }
            err = publishUnnamed(fd, target, destination, route);
            /* ENOENT: the folder went away, or /proc is missing and the file
             * could not be named; a named temporary tells the two apart. */
            if (err != ENOENT)
                return err;
            retried = 1;
        } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
            route->noTmpfile = 1;
        } else {
            return lastError();
        }
    }

    if (!destination->checked && (err = checkDestination(target->path, destination)) != 0)
        return err;
    char hidden[PATH_MAX + NAME_MAX + 2];
    int keeper = -1;
    int fd = createHidden(target, hidden, mode, &keeper);
    if (fd < 0)
        return lastError();
    err = fillTemporary(in, fd, source, route, needChmod);
    if (err) {
        close(fd);
        unlink(hidden);
        if (keeper >= 0)
            close(keeper);
        return err;
    }
    err = renameTemporary(fd, keeper, hidden, target->path, destination, route);
    if (!err && retried)
        atomic_store_explicit(&unnamedUnusable, 1, memory_order_relaxed);
    return err;
}

static int copyFile(const char* src, const char* dst, int32_t known)
{
    struct target target;
    int err = splitTarget(dst, &target);
    if (err)
        return err;
    struct stat source;
    int in = openSource(src, &source);
    if (in < 0)
        return -in;
    /* A small file goes straight into an unnamed temporary and its
     * destination is examined only if the name turns out to be taken, which
     * saves a look-up for every new file; a large one is not copied before
     * the destination is known to accept it. What the caller has just looked
     * up need not be looked up again (on a network file system every look-up
     * is a round trip to the server). */
    struct destination destination = { known != QVU_DST_UNKNOWN, known == QVU_DST_REPLACEABLE };
    err = !destination.checked && source.st_size > EAGER_CHECK_SIZE ? checkDestination(dst, &destination) : 0;
    if (!err)
        err = replaceDestination(in, &source, &target, &destination);
    close(in);
    return err;
}

int32_t qvuCopyFile(const char* src, const char* dst, int32_t bufSize, char* buf)
{
    return qvuCopyFileKnown(src, dst, QVU_DST_UNKNOWN, bufSize, buf, NULL, NULL);
}

int32_t qvuCopyFileCounted(const char* src, const char* dst, int32_t bufSize, char* buf, int64_t* copied)
{
    return qvuCopyFileKnown(src, dst, QVU_DST_UNKNOWN, bufSize, buf, copied, NULL);
}

int32_t qvuCopyFileKnown(const char* src, const char* dst, int32_t known, int32_t bufSize, char* buf, int64_t* copied,
    struct timespec* stamped)
{
    if (known < QVU_DST_UNKNOWN || known > QVU_DST_REPLACEABLE)
        known = QVU_DST_UNKNOWN;
    if (stamped)
        memset(stamped, 0, 2 * sizeof *stamped);
    copiedSink = (_Atomic int64_t*)copied;
    stampedSink = stamped;
    int err = src && dst ? copyFile(src, dst, known) : EINVAL;
    copiedSink = NULL;
    stampedSink = NULL;
    if (err && stamped)
        memset(stamped, 0, 2 * sizeof *stamped);
    if (!err)
        return 0;
    if (buf && bufSize > 0) {
        char scratch[256];
        const char* text = strerror_r(err, scratch, sizeof scratch);
        size_t length = strlen(text);
        if (length < (size_t)bufSize)
            memcpy(buf, text, length + 1);
    }
    return err;
}

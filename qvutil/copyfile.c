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
 * Every step on the destination is taken relative to its folder, which the
 * caller holds open. How new files go in is chosen from what that folder's
 * file system was found to do (qvuProbeFolder), not by trying and failing for
 * each file: network shares differ. A share reached through libsmbclient
 * cannot rename or remove a file that is open, so a named temporary is closed,
 * its lock keeper too, before its rename; one that removes the old file before
 * it renames (or refuses to rename over it) gets the old file set aside under
 * a name of its own first, and back should the new one not take its place.
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

#define HIDDEN_TAG QVU_TEMPORARY_TAG
#define RANDOM_CHARS QVU_RANDOM_CHARS
#define ASIDE_TAG QVU_ASIDE_TAG
#define PROBE_NAME "vst-probe"
#define PROBE_TIME 1000000000
#define NAME_ATTEMPTS 100
#define LARGEST_CHUNK ((size_t)1 << 20)
#define RANGE_STEP ((off_t)1 << 30)
#define EAGER_CHECK_SIZE ((off_t)1 << 20)

/* DST as the copy sees it: the folder that receives the temporary, open
 * (O_PATH will do), and the final name in it. Every step on the destination
 * is taken relative to that folder, so that nothing can redirect the copy
 * once the caller has opened it: not a link swapped in for a folder above,
 * not a share unmounted from under its path. */
struct target {
    int dirFd;
    const char* name;
    /* The folder (O_PATH will do) that keeps DST's old file under DST's name
     * once the new one has replaced it, or -1; *KEPT is set to 1 when it did. */
    int keepFd;
    int32_t* kept;
};

/* What earlier copies on this thread learned about moving the data from one
 * file system to another, so that copying a folder full of files does not
 * repeat a refused call for each one. It is only a hint: a stale entry costs
 * speed, never correctness. How the destination takes new files is not
 * guessed like this but found out once (qvuProbeFolder). */
struct route {
    int dirFd;
    dev_t sourceDevice;
    unsigned char known, noClone, noRange;
};

static _Thread_local struct route lastRoute;

/* Where the copy on this thread tells how far into the file it has come, or
 * null; with it the data goes in steps small enough to be watched. */
static _Thread_local _Atomic int64_t* copiedSink;

/* Where the copy on this thread tells the times its file carries, as read
 * back from it once they were set (or as set by name, where times set
 * through the open file do not last), or null. */
static _Thread_local struct timespec* stampedSink;
#define WATCHED_STEP ((off_t)1 << 23)

static void tellCopied(off_t reached)
{
    if (copiedSink)
        atomic_store_explicit(copiedSink, (int64_t)reached, memory_order_relaxed);
}

/* linkat(AT_EMPTY_PATH) needs CAP_DAC_READ_SEARCH; without it an unnamed file
 * is linked through /proc/self/fd (where that fails too, as without /proc, the
 * probe finds unnamed temporaries unusable). */
static atomic_int emptyPathRefused;

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

static struct route* routeFor(int dirFd, dev_t sourceDevice)
{
    struct route* route = &lastRoute;
    if (!route->known || route->dirFd != dirFd || route->sourceDevice != sourceDevice) {
        memset(route, 0, sizeof *route);
        route->dirFd = dirFd;
        route->sourceDevice = sourceDevice;
        route->known = 1;
    }
    return route;
}

/* RANDOM_CHARS characters from [A-Za-z0-9]; collisions are caught by O_EXCL or EEXIST. */
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

/* ".NAME" + TAG + random characters beside DST: a temporary or an old file
 * set aside (qvutil.h); NAME is shortened so the result stays a valid file
 * name, at the start of a UTF-8 character (a file system that stores names
 * as Unicode, as exFAT does, refuses half a character). */
static void makeHiddenName(const char* name, const char* tag, char* out)
{
    const size_t tagLength = strlen(tag);
    const size_t extra = 1 + tagLength + RANDOM_CHARS;
    size_t nameLength = strlen(name);
    if (nameLength > NAME_MAX - extra) {
        nameLength = NAME_MAX - extra;
        while (nameLength > 0 && ((unsigned char)name[nameLength] & 0xC0) == 0x80)
            --nameLength;
    }
    char* p = out;
    *p++ = '.';
    memcpy(p, name, nameLength);
    p += nameLength;
    memcpy(p, tag, tagLength);
    p += tagLength;
    randomChars(p);
    p[RANDOM_CHARS] = '\0';
}

/* Why a source of mode MODE is not copied; 0 for a regular file. */
static int refusedSource(mode_t mode)
{
    if (S_ISDIR(mode))
        return EISDIR;
    return S_ISREG(mode) ? 0 : EINVAL;
}

static int openSource(const char* src, struct stat* source)
{
    /* Only a regular file is opened: opening a FIFO would release a writer
     * waiting on it and throw its data away, and opening a device may act on
     * the device. Should it be swapped for one after this look, O_NONBLOCK
     * keeps a FIFO from blocking the open, and it is refused below.
     * O_NOATIME leaves the source's access time alone, which spares the file
     * system an inode update per file; only the owner may ask for it. */
    if (stat(src, source) < 0)
        return -lastError();
    int err = refusedSource(source->st_mode);
    if (err)
        return -err;
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = open(src, flags | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = open(src, flags);
    if (fd < 0)
        return -lastError();
    if (fstat(fd, source) < 0)
        err = lastError();
    else
        err = refusedSource(source->st_mode);
    /* O_NONBLOCK means nothing for a regular file, so it may stay set. */
    if (err) {
        close(fd);
        return -err;
    }
    return fd;
}

/* What is known of DST: whether it was examined (or the caller vouched for
 * it), and whether it exists; and what the caller saw of it when it decided
 * on the copy, or null. */
struct destination {
    int checked, exists;
    const struct qvuSeen* seen;
};

/* Refuses a DST that must not be replaced; 0 when it is missing or may be replaced. */
static int checkDestination(const struct target* target, struct destination* destination)
{
    struct stat st;
    destination->checked = 1;
    if (fstatat(target->dirFd, target->name, &st, 0) < 0) {
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

/* Whether two readings of a file's time stand for the same time. A share's
 * client may give it once with its fraction and once without (from a
 * listing, from the server): a missing fraction matches. */
static int sameStamp(struct timespec a, struct timespec b)
{
    return a.tv_sec == b.tv_sec && (a.tv_nsec == b.tv_nsec || a.tv_nsec == 0 || b.tv_nsec == 0);
}

/* 0 when DST is still as the caller saw it when it decided on the copy (or
 * the caller saw nothing), QVU_DESTINATION_CHANGED when another program has
 * written it since. A DST gone meanwhile takes nothing of anyone's with it. */
static int stillAsSeen(const struct target* target, const struct destination* destination)
{
    const struct qvuSeen* seen = destination->seen;
    if (!seen)
        return 0;
    struct stat st;
    if (fstatat(target->dirFd, target->name, &st, 0) < 0)
        return errno == ENOENT ? 0 : lastError();
    if (!seen->exists || st.st_size != seen->size || !sameStamp(st.st_mtim, seen->mtime))
        return QVU_DESTINATION_CHANGED;
    return 0;
}

/* A DST that has appeared where the caller saw none: decided again when the
 * caller saw it missing, otherwise examined as any existing one. */
static int appeared(const struct target* target, struct destination* destination)
{
    return destination->seen ? QVU_DESTINATION_CHANGED : checkDestination(target, destination);
}

/* 0 when the source IN is as it was when it was opened (SOURCE), so that
 * the copy holds what it held then; QVU_SOURCE_CHANGED when it was written
 * meanwhile: the copy may hold a mix of old and new. */
static int sourceUnchanged(int in, const struct stat* source)
{
    struct stat now;
    if (fstat(in, &now) < 0)
        return lastError();
    if (now.st_size != source->st_size || !sameStamp(now.st_mtim, source->st_mtim)
        || !sameStamp(now.st_ctim, source->st_ctim))
        return QVU_SOURCE_CHANGED;
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

static int fillTemporary(int in, int out, const struct stat* source, struct route* route, int needChmod, int caps)
{
    int err = copyData(in, out, source, route);
    if (!err)
        err = sourceUnchanged(in, source);
    if (err)
        return err;
    /* File systems that cannot hold Unix permission bits (FAT, exFAT) refuse
     * some modes with EPERM; the copy is still good there. */
    if (needChmod && fchmod(out, source->st_mode & 07777) < 0 && errno != EPERM && errno != EOPNOTSUPP)
        return lastError();
    /* Where times set through the open file are lost at its close, they go on
     * by name once the file has its own (publishNamed). */
    if ((caps & QVU_FS_PROBED) && !(caps & QVU_FS_TIMES_KEPT) && !(caps & QVU_FS_UNNAMED))
        return 0;
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

/* Renames FROM to TO in the target's folder; with NOREPLACE, where the file
 * system can refuse to replace, TO is not replaced (EEXIST). */
static int renameIn(const struct target* target, const char* from, const char* to, int noReplace, int caps)
{
    if (noReplace && (caps & QVU_FS_NOREPLACE)) {
        if (renameat2(target->dirFd, from, target->dirFd, to, RENAME_NOREPLACE) == 0)
            return 0;
        /* Refused after all (a server that changed its mind): as without the flag. */
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return lastError();
    }
    return renameat(target->dirFd, from, target->dirFd, to) < 0 ? lastError() : 0;
}

/* Replaces DST with the temporary HIDDEN where the file system cannot do it
 * in one step (it removes the old file before it renames, or refuses to
 * rename over a file): the old file first steps aside under a name of its
 * own, and comes back when the new one cannot take its place. At every moment
 * the old file is under DST's name or the aside name, whole; a run killed in
 * between leaves it aside, and the next run over the folder puts it back
 * (engine/staletemps.cpp). */
static int replaceBySettingAside(const char* hidden, const struct target* target, int caps)
{
    char aside[NAME_MAX + 1];
    int err = EEXIST;
    for (int attempt = 0; attempt < NAME_ATTEMPTS && err == EEXIST; ++attempt) {
        makeHiddenName(target->name, ASIDE_TAG, aside);
        err = renameIn(target, target->name, aside, 1, caps);
    }
    if (err == ENOENT) /* gone meanwhile: nothing to keep */
        return renameIn(target, hidden, target->name, 1, caps);
    if (err)
        return err;
    err = renameIn(target, hidden, target->name, 1, caps);
    if (err) {
        renameIn(target, aside, target->name, 1, caps);
        return err;
    }
    /* Should this fail, the next run's sweep removes the old file. */
    unlinkat(target->dirFd, aside, 0);
    return 0;
}

/* Built with QVU_STEP_HOOK, qvuStepHook(N) is called at each step of a
 * replacement that keeps the old file; the tests end the process there to see
 * what a kill at that moment leaves. */
#ifdef QVU_STEP_HOOK
void qvuStepHook(int step);
#define KEEP_STEP(n) qvuStepHook(n)
#else
#define KEEP_STEP(n) ((void)0)
#endif

/* Renames FROM in FROM_FD to TO in TO_FD without replacing anything where the
 * file system can refuse to (the rename of renameIn between two folders). */
static int renameBetween(int fromFd, const char* from, int toFd, const char* to, int caps)
{
    if ((caps & QVU_FS_NOREPLACE) && renameat2(fromFd, from, toFd, to, RENAME_NOREPLACE) == 0)
        return 0;
    if ((caps & QVU_FS_NOREPLACE) && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return lastError();
    return renameat(fromFd, from, toFd, to) < 0 ? lastError() : 0;
}

/* Replaces DST with the temporary HIDDEN and keeps the old file in the keep
 * folder under DST's name.
 *
 * Where the file system has hard links, the old file first gets its second
 * name in the keep folder, and the rename then takes its first one: DST's
 * name holds the old or the new file at every moment, and the kept version is
 * there, whole, before the new file is. Neither step copies any data. Where a
 * rename cannot replace in one step, DST's name is freed after the link
 * (the old file is whole in the keep folder by then) and the new file takes it.
 *
 * Where links are refused (FAT, exFAT, SMB and rclone mounts), the old file is renamed
 * into the keep folder just before the new one takes its name: a process
 * killed between the two leaves DST's name empty and the old file kept, and
 * the next run copies the file again. A DST gone meanwhile keeps nothing. */
static int replaceKeeping(const char* hidden, const struct target* target, int caps)
{
    int err = 0;
    if (linkat(target->dirFd, target->name, target->keepFd, target->name, 0) == 0) {
        KEEP_STEP(1);
        if (caps & QVU_FS_REPLACE) {
            err = renameIn(target, hidden, target->name, 0, caps);
        } else if (unlinkat(target->dirFd, target->name, 0) < 0) {
            err = lastError();
        } else {
            KEEP_STEP(2);
            err = renameIn(target, hidden, target->name, 1, caps);
            /* The old file goes back under DST's name; should that fail, it
             * stays kept rather than lose its last name. */
            if (err && linkat(target->keepFd, target->name, target->dirFd, target->name, 0) < 0)
                return err;
        }
        if (err) {
            unlinkat(target->keepFd, target->name, 0);
            return err;
        }
        *target->kept = 1;
        return 0;
    }
    err = lastError();
    if (err == ENOENT) /* gone meanwhile: nothing to keep */
        return renameIn(target, hidden, target->name, 1, caps);
    /* rclone's mounts answer a link with EIO; a real I/O error fails the
     * rename below as well. */
    if (err != EPERM && err != EOPNOTSUPP && err != ENOSYS && err != EMLINK && err != EIO)
        return err;
    err = renameBetween(target->dirFd, target->name, target->keepFd, target->name, caps);
    if (err == ENOENT)
        return renameIn(target, hidden, target->name, 1, caps);
    if (err)
        return err;
    KEEP_STEP(2);
    err = renameIn(target, hidden, target->name, 1, caps);
    if (err) {
        renameBetween(target->keepFd, target->name, target->dirFd, target->name, caps);
        return err;
    }
    *target->kept = 1;
    return 0;
}

/* Gives the temporary at HIDDEN the name DST. A DST believed missing is not
 * replaced unseen: where the file system can refuse to replace, a DST that
 * has appeared meanwhile is examined first, as any existing one. */
static int putInPlace(const char* hidden, const struct target* target, struct destination* destination, int caps)
{
    if (!destination->exists && (caps & QVU_FS_NOREPLACE)) {
        int err = renameIn(target, hidden, target->name, 1, caps);
        if (err != EEXIST)
            return err;
        err = appeared(target, destination);
        if (err)
            return err;
    }
    /* The last look before the old file goes: from here to the rename is the
     * only moment another program's write can still be lost. */
    if (destination->exists) {
        int err = stillAsSeen(target, destination);
        if (err)
            return err;
    }
    /* Whatever has appeared under DST's name is kept as well. */
    if (target->keepFd >= 0)
        return replaceKeeping(hidden, target, caps);
    if (destination->exists && !(caps & QVU_FS_REPLACE))
        return replaceBySettingAside(hidden, target, caps);
    return renameIn(target, hidden, target->name, 0, caps);
}

/* Closes FD and gives the temporary at HIDDEN the name DST, or removes it.
 * Where a file that is open cannot be renamed or removed (SMB without
 * share-delete), the lock keeper is closed first as well. */
static int publishNamed(int fd, int keeper, const char* hidden, const struct target* target,
    struct destination* destination, const struct stat* source, int caps)
{
    int err = close(fd) < 0 ? lastError() : 0;
    if (keeper >= 0 && !(caps & QVU_FS_RENAME_OPEN)) {
        close(keeper);
        keeper = -1;
    }
    if (!err)
        err = putInPlace(hidden, target, destination, caps);
    if (err)
        unlinkat(target->dirFd, hidden, 0);
    if (keeper >= 0)
        close(keeper);
    /* A file system that stamps a file with the time its last handle closes
     * (Samba) does so when the close reaches the server, which can be after a
     * close(2) here has returned; times set by name before then are lost. A
     * file that is open cannot be renamed there, so once the rename is done
     * the close has been seen: the source's times go on now. */
    const struct timespec times[2] = { source->st_atim, source->st_mtim };
    if (!err && !(caps & QVU_FS_TIMES_KEPT)) {
        if (utimensat(target->dirFd, target->name, times, AT_SYMLINK_NOFOLLOW) < 0)
            err = lastError();
        else if (stampedSink)
            memcpy(stampedSink, times, sizeof times);
    }
    return err;
}

/* Gives an O_TMPFILE file the name NAME in DIR_FD; EEXIST when NAME is taken. */
static int linkUnnamed(int fd, int dirFd, const char* name)
{
    int triedEmptyPath = 0;
    if (!atomic_load_explicit(&emptyPathRefused, memory_order_relaxed)) {
        if (linkat(fd, "", dirFd, name, AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT && errno != EPERM)
            return lastError();
        triedEmptyPath = 1;
    }
    char proc[32];
    snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (linkat(AT_FDCWD, proc, dirFd, name, AT_SYMLINK_FOLLOW) < 0)
        return lastError();
    if (triedEmptyPath)
        atomic_store_explicit(&emptyPathRefused, 1, memory_order_relaxed);
    return 0;
}

/* Names the filled O_TMPFILE file FD as DST and closes it. */
static int publishUnnamed(
    int fd, const struct target* target, struct destination* destination, const struct stat* source, int caps)
{
    int err;
    if (!destination->exists) {
        err = linkUnnamed(fd, target->dirFd, target->name);
        if (!err) {
            /* DST did not exist before, so nothing is lost by taking it back. */
            if (close(fd) < 0) {
                err = lastError();
                unlinkat(target->dirFd, target->name, 0);
            }
            return err;
        }
        /* DST is there after all: it must pass the checks before it is replaced. */
        if (err == EEXIST)
            err = appeared(target, destination);
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
    char hidden[NAME_MAX + 1];
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        makeHiddenName(target->name, HIDDEN_TAG, hidden);
        err = linkUnnamed(fd, target->dirFd, hidden);
        if (err != EEXIST)
            break;
    }
    if (err) {
        close(fd);
        if (keeper >= 0)
            close(keeper);
        return err;
    }
    return publishNamed(fd, keeper, hidden, target, destination, source, caps);
}

/* Creates and locks a named temporary; its lock keeper goes to *KEEPER. */
static int createHidden(const struct target* target, char* hidden, mode_t mode, int* keeper)
{
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        makeHiddenName(target->name, HIDDEN_TAG, hidden);
        int fd = openat(target->dirFd, hidden, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
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
            unlinkat(target->dirFd, hidden, 0);
            errno = err;
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

static int replaceDestination(
    int in, const struct stat* source, const struct target* target, struct destination* destination, int caps)
{
    struct route* route = routeFor(target->dirFd, source->st_dev);
    int err;
    int needChmod;
    const mode_t mode = creationMode(source, &needChmod);

    if (caps & QVU_FS_UNNAMED) {
        int fd = openat(target->dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd < 0)
            return lastError();
        err = fillTemporary(in, fd, source, route, needChmod, caps);
        if (err) {
            close(fd);
            return err;
        }
        return publishUnnamed(fd, target, destination, source, caps);
    }

    if (!destination->checked && (err = checkDestination(target, destination)) != 0)
        return err;
    char hidden[NAME_MAX + 1];
    int keeper = -1;
    int fd = createHidden(target, hidden, mode, &keeper);
    if (fd < 0)
        return lastError();
    err = fillTemporary(in, fd, source, route, needChmod, caps);
    if (err) {
        close(fd);
        if (keeper >= 0)
            close(keeper);
        unlinkat(target->dirFd, hidden, 0);
        return err;
    }
    return publishNamed(fd, keeper, hidden, target, destination, source, caps);
}

/* Creates a scratch file NAME (".vst-probe.vst-XXXXXX", which a sweep takes
 * for a temporary should the probe be killed) in DIR_FD; its descriptor, or -1. */
static int createScratch(int dirFd, char* name)
{
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        makeHiddenName(PROBE_NAME, HIDDEN_TAG, name);
        int fd = openat(dirFd, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

int32_t qvuProbeFolder(int32_t dirFd, int32_t* found)
{
    int32_t caps = QVU_FS_PROBED;
    if (found)
        *found = caps;
    char first[NAME_MAX + 1], second[NAME_MAX + 1], third[NAME_MAX + 1] = "", stamped[NAME_MAX + 1] = "";
    int fd = createScratch(dirFd, first);
    if (fd < 0)
        return lastError();
    close(fd);
    int err = 0;

    /* A file renamed while it is open. It is open for reading only: rclone
     * without a cache renames a file open for writing only once it is
     * uploaded, after the close, when the probe may have removed it. */
    fd = openat(dirFd, first, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        err = lastError();
        unlinkat(dirFd, first, 0);
        goto done;
    }
    makeHiddenName(PROBE_NAME, HIDDEN_TAG, second);
    if (renameat(dirFd, first, dirFd, second) == 0) {
        caps |= QVU_FS_RENAME_OPEN;
        close(fd);
    } else {
        close(fd);
        if (renameat(dirFd, first, dirFd, second) < 0) {
            err = lastError();
            unlinkat(dirFd, first, 0);
            goto done;
        }
    }

    /* A rename told not to replace. The kernel itself refuses one onto a
     * name it knows, so the file system is only asked, and only shows whether
     * it can, with a name that is free. */
    fd = createScratch(dirFd, third);
    if (fd < 0) {
        err = lastError();
        goto done;
    }
    close(fd);
    char fourth[NAME_MAX + 1];
    makeHiddenName(PROBE_NAME, HIDDEN_TAG, fourth);
    if (renameat2(dirFd, third, dirFd, fourth, RENAME_NOREPLACE) == 0) {
        caps |= QVU_FS_NOREPLACE;
        strcpy(third, fourth);
    }
    /* A rename over a file that is open: one that works there takes the old
     * file's place in one step. */
    int held = openat(dirFd, second, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (held >= 0) {
        /* A lock that another open file of the same file cannot take. Both
         * are opened for reading, once the file is closed: rclone without a
         * cache holds an open for reading of a file being written for seconds. */
        int other = openat(dirFd, second, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (other >= 0) {
            if (flock(held, LOCK_EX | LOCK_NB) == 0 && flock(other, LOCK_SH | LOCK_NB) < 0 && errno == EWOULDBLOCK)
                caps |= QVU_FS_LOCKS;
            close(other);
        }
        if (renameat(dirFd, third, dirFd, second) == 0 && faccessat(dirFd, second, F_OK, AT_SYMLINK_NOFOLLOW) == 0)
            caps |= QVU_FS_REPLACE;
        close(held);
    }

    /* An unnamed temporary that can be given a name. */
    if (tryUnnamed) {
        fd = openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0) {
            char named[NAME_MAX + 1];
            makeHiddenName(PROBE_NAME, HIDDEN_TAG, named);
            if (linkUnnamed(fd, dirFd, named) == 0) {
                caps |= QVU_FS_UNNAMED;
                unlinkat(dirFd, named, 0);
            }
            close(fd);
        }
    }

    /* Times set through the open file, as the server has them after the close. */
    fd = createScratch(dirFd, stamped);
    if (fd >= 0) {
        const struct timespec stamp[2] = { { PROBE_TIME, 0 }, { PROBE_TIME, 0 } };
        struct statx kept;
        int set = write(fd, "x", 1) == 1 && futimens(fd, stamp) == 0;
        if (close(fd) == 0 && set
            && statx(dirFd, stamped, AT_SYMLINK_NOFOLLOW | AT_STATX_FORCE_SYNC, STATX_MTIME, &kept) == 0
            && kept.stx_mtime.tv_sec == PROBE_TIME)
            caps |= QVU_FS_TIMES_KEPT;
    }

done:
    unlinkat(dirFd, second, 0);
    unlinkat(dirFd, third, 0);
    unlinkat(dirFd, stamped, 0);
    if (found)
        *found = caps;
    return err;
}

/* What the folders that path-named copies went into turned out to take,
 * found out once per folder on this thread. */
static _Thread_local struct {
    dev_t dev;
    ino_t ino;
    int32_t caps;
} lastProbed;

static int32_t capsOfFolder(int dirFd)
{
    struct stat st;
    if (fstat(dirFd, &st) < 0)
        return QVU_FS_PROBED;
    if (!(lastProbed.caps & QVU_FS_PROBED) || lastProbed.dev != st.st_dev || lastProbed.ino != st.st_ino) {
        int32_t caps;
        qvuProbeFolder(dirFd, &caps);
        lastProbed.dev = st.st_dev;
        lastProbed.ino = st.st_ino;
        lastProbed.caps = caps;
    }
    return lastProbed.caps;
}

/* How often a source found written while it was copied is copied again
 * before the copy gives up. */
#define SOURCE_ATTEMPTS 2

static int copyFileAt(
    const char* src, const struct target* target, int32_t known, const struct qvuSeen* seen, int32_t caps)
{
    if (!*target->name || strchr(target->name, '/') || strcmp(target->name, ".") == 0
        || strcmp(target->name, "..") == 0)
        return EINVAL;
    if (strlen(target->name) > NAME_MAX)
        return ENAMETOOLONG;
    if (!tryUnnamed)
        caps &= ~QVU_FS_UNNAMED;
    if (seen)
        known = seen->exists ? QVU_DST_REPLACEABLE : QVU_DST_MISSING;
    /* A small file goes straight into an unnamed temporary and its
     * destination is examined only if the name turns out to be taken, which
     * saves a look-up for every new file; a large one is not copied before
     * the destination is known to accept it. What the caller has just looked
     * up need not be looked up again (on a network file system every look-up
     * is a round trip to the server). */
    struct destination destination = { known != QVU_DST_UNKNOWN, known == QVU_DST_REPLACEABLE, seen };
    int err = QVU_SOURCE_CHANGED;
    for (int attempt = 0; attempt < SOURCE_ATTEMPTS && err == QVU_SOURCE_CHANGED; ++attempt) {
        struct stat source;
        int in = openSource(src, &source);
        if (in < 0)
            return -in;
        err = !destination.checked && source.st_size > EAGER_CHECK_SIZE ? checkDestination(target, &destination) : 0;
        if (!err)
            err = replaceDestination(in, &source, target, &destination, caps);
        close(in);
    }
    return err;
}

/* DST split into its folder, opened, and its name. */
static int copyFileByPath(const char* src, const char* dst, int32_t known)
{
    size_t length = strlen(dst);
    if (length == 0)
        return ENOENT;
    if (length >= PATH_MAX)
        return ENAMETOOLONG;
    const char* slash = strrchr(dst, '/');
    int32_t kept = 0;
    struct target target = { -1, slash ? slash + 1 : dst, -1, &kept };
    if (!*target.name)
        return EISDIR; /* "folder/" names a folder */
    char dir[PATH_MAX];
    if (!slash)
        strcpy(dir, ".");
    else if (slash == dst)
        strcpy(dir, "/");
    else {
        memcpy(dir, dst, (size_t)(slash - dst));
        dir[slash - dst] = '\0';
    }
    target.dirFd = open(dir, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (target.dirFd < 0)
        return lastError();
    int err = copyFileAt(src, &target, known, NULL, capsOfFolder(target.dirFd));
    close(target.dirFd);
    return err;
}

/* The error's text into BUF, when it fits. */
static int32_t reported(int err, int32_t bufSize, char* buf)
{
    if (err && buf && bufSize > 0) {
        char scratch[256];
        const char* text = err == QVU_SOURCE_CHANGED ? "The source file was written while it was copied"
            : err == QVU_DESTINATION_CHANGED         ? "The destination file was written by another program"
                                                     : strerror_r(err, scratch, sizeof scratch);
        size_t length = strlen(text);
        if (length < (size_t)bufSize)
            memcpy(buf, text, length + 1);
    }
    return err;
}

/* Points this thread's copy at the caller's progress and time sinks. */
static void setSinks(int64_t* copied, struct timespec* stamped)
{
    if (stamped)
        memset(stamped, 0, 2 * sizeof *stamped);
    copiedSink = (_Atomic int64_t*)copied;
    stampedSink = stamped;
}

/* Detaches the sinks after a copy that ended with ERR; a failed copy
 * carries no times. */
static int clearSinks(int err, struct timespec* stamped)
{
    copiedSink = NULL;
    stampedSink = NULL;
    if (err && stamped)
        memset(stamped, 0, 2 * sizeof *stamped);
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
    setSinks(copied, stamped);
    int err = clearSinks(src && dst ? copyFileByPath(src, dst, known) : EINVAL, stamped);
    return reported(err, bufSize, buf);
}

static int32_t copyInFolder(const char* src, int32_t dirFd, const char* name, int32_t known, const struct qvuSeen* seen,
    int32_t caps, int32_t keepFd, int32_t* kept, int32_t bufSize, char* buf, int64_t* copied, struct timespec* stamped)
{
    int32_t keptHere = 0;
    const struct target target = { dirFd, name, keepFd, kept ? kept : &keptHere };
    *target.kept = 0;
    setSinks(copied, stamped);
    int err = EINVAL;
    if (src && name && dirFd >= 0)
        err = copyFileAt(src, &target, known, seen, caps & QVU_FS_PROBED ? caps : capsOfFolder(dirFd));
    return reported(clearSinks(err, stamped), bufSize, buf);
}

int32_t qvuCopyFileAt(const char* src, int32_t dirFd, const char* name, int32_t known, int32_t caps, int32_t bufSize,
    char* buf, int64_t* copied, struct timespec* stamped)
{
    if (known < QVU_DST_UNKNOWN || known > QVU_DST_REPLACEABLE)
        known = QVU_DST_UNKNOWN;
    return copyInFolder(src, dirFd, name, known, NULL, caps, -1, NULL, bufSize, buf, copied, stamped);
}

int32_t qvuCopyFileAsSeen(const char* src, int32_t dirFd, const char* name, const struct qvuSeen* seen, int32_t caps,
    int32_t bufSize, char* buf, int64_t* copied, struct timespec* stamped)
{
    return copyInFolder(src, dirFd, name, QVU_DST_UNKNOWN, seen, caps, -1, NULL, bufSize, buf, copied, stamped);
}

int32_t qvuCopyFileKeeping(const char* src, int32_t dirFd, const char* name, const struct qvuSeen* seen, int32_t caps,
    int32_t keepFd, int32_t* kept, int32_t bufSize, char* buf, int64_t* copied, struct timespec* stamped)
{
    if (keepFd < 0) {
        if (kept)
            *kept = 0;
        return reported(EBADF, bufSize, buf);
    }
    return copyInFolder(src, dirFd, name, QVU_DST_UNKNOWN, seen, caps, keepFd, kept, bufSize, buf, copied, stamped);
}

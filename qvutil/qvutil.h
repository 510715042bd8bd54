/*
 * qvutil — the helper library: file copy with the system's error text, file and
 * disk sizes, absolute paths, C streams, number parsers and a few byte and
 * window-data helpers.
 *
 * Plain C exports. Texts are NUL-terminated 8-bit strings owned by the caller;
 * results other than the return value are written through caller pointers;
 * "boolean" results are 1 for success and 0 for failure. Stream and window
 * handles and addresses are pointer-sized. No export allocates anything that
 * the caller must free, and none aborts on a null pointer or an empty text.
 *
 * The program binds these by name at run time (dlopen/dlsym), so the names and
 * signatures below are the library's whole interface.
 *
 * Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
 */
#ifndef QVUTIL_H
#define QVUTIL_H

#include <stdint.h>
#include <time.h>

#if defined(QVUTIL_BUILDING)
#define QVU_API __attribute__((visibility("default")))
#else
#define QVU_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Copies SRC onto DST, replacing DST atomically. 0 on success; otherwise the
 * errno of the failure, with strerror's text written into BUF when it fits in
 * BUFSIZE bytes (NUL included); BUF is left as it was when it does not fit.
 * SRC must be a regular file (EISDIR for a folder, EINVAL otherwise); an
 * existing DST must be a regular file with a write permission bit (EISDIR,
 * EINVAL, EACCES otherwise, EACCES for root too). On failure DST is as it was. */
QVU_API int32_t qvuCopyFile(const char* src, const char* dst, int32_t bufSize, char* buf);

/* qvuCopyFile that also tells, while it copies, how far into the file the copy
 * has come, in bytes: *COPIED (when not null) is set with relaxed atomic
 * stores, often enough to show a large file's progress. The caller may read it from
 * another thread as a std::atomic<int64_t> or _Atomic int64_t. */
QVU_API int32_t qvuCopyFileCounted(const char* src, const char* dst, int32_t bufSize, char* buf, int64_t* copied);

/* What the caller of qvuCopyFileKnown has found out about DST a moment before,
 * so that the copy need not look it up again. */
#define QVU_DST_UNKNOWN 0 /* nothing: the copy examines DST itself */
#define QVU_DST_MISSING 1 /* DST did not exist */
#define QVU_DST_REPLACEABLE 2 /* DST was a regular file with a write permission bit */

/* qvuCopyFileCounted with what is KNOWN of DST (one of QVU_DST_*, anything
 * else counts as QVU_DST_UNKNOWN). A DST said to be missing that exists after
 * all is examined before it is replaced where the file system tells so
 * (RENAME_NOREPLACE, or a link that finds the name taken). STAMPED, when not
 * null, gets the access and modification times that the copy carries, as read
 * back from the file once they were set (the source's, at the precision the
 * file system keeps), or zeros when they could not be read back. */
QVU_API int32_t qvuCopyFileKnown(const char* src, const char* dst, int32_t known, int32_t bufSize, char* buf,
    int64_t* copied, struct timespec* stamped);

/* What a destination folder's file system does with new files, as
 * qvuProbeFolder finds out with a few scratch files of its own. */
#define QVU_FS_PROBED 0x01 /* found out (every other bit may still be 0) */
#define QVU_FS_UNNAMED 0x02 /* unnamed temporaries (O_TMPFILE) that can be given a name */
#define QVU_FS_NOREPLACE 0x04 /* a rename can be told not to replace (RENAME_NOREPLACE) */
#define QVU_FS_RENAME_OPEN 0x08 /* a file that is open can be renamed */
#define QVU_FS_REPLACE 0x10 /* a rename replaces a file, even an open one, in one step */
#define QVU_FS_LOCKS 0x20 /* a file's lock holds against another open of it */
#define QVU_FS_TIMES_KEPT 0x40 /* times set through an open file outlast its close (not so through libsmbclient) */
/* Finds out what the folder DIRFD (O_PATH will do) takes: *FOUND gets the
 * QVU_FS_* bits. 0, or the errno that kept the probe from finishing (the bits
 * found so far are then set, QVU_FS_PROBED among them). Its scratch files are
 * removed; one left by a killed probe looks like a dead temporary. */
QVU_API int32_t qvuProbeFolder(int32_t dirFd, int32_t* found);
/* The copy's hidden files beside DST: ".NAME" + the tag + QVU_RANDOM_CHARS
 * letters and digits, NAME shortened (at a character's start) where the whole
 * would not be a valid name. A temporary holds the data until it takes DST's
 * name; an old file is set aside for a moment where a rename cannot replace
 * in one step. */
#define QVU_TEMPORARY_TAG ".vst-tmp-"
#define QVU_ASIDE_TAG ".vst-old-"
#define QVU_RANDOM_CHARS 10

/* qvuCopyFileKnown onto NAME (a name, not a path) in the open folder DIRFD,
 * every step relative to that folder, in the way CAPS (from qvuProbeFolder;
 * without QVU_FS_PROBED the folder is probed first) says the file system
 * takes. Where a rename cannot replace a file in one step, the old file is
 * set aside (QVU_ASIDE_TAG) while the new one takes its name, and brought
 * back when it cannot; the old file is never lost.
 *
 * A source that is written while it is copied (its size, modification or
 * change time differ afterwards) is copied once more, and when it changes
 * again the copy fails with QVU_SOURCE_CHANGED, DST left as it was. */
#define QVU_SOURCE_CHANGED 10001
QVU_API int32_t qvuCopyFileAt(const char* src, int32_t dirFd, const char* name, int32_t known, int32_t caps,
    int32_t bufSize, char* buf, int64_t* copied, struct timespec* stamped);

/* What the caller saw of DST when it decided to copy onto it. */
struct qvuSeen {
    int32_t exists; /* 0: DST was missing; otherwise a regular file with a write permission bit, */
    int64_t size; /* of this size */
    struct timespec mtime; /* and last-modified time */
};
/* qvuCopyFileAt for a copy decided on what SEEN says of DST (null: nothing
 * was seen, and the copy examines DST itself). Just before DST is replaced it
 * is looked at again, and a DST seen missing that has appeared is not
 * replaced: when another program has written DST since, nothing is replaced
 * and the copy fails with QVU_DESTINATION_CHANGED, for the caller to decide
 * again. */
#define QVU_DESTINATION_CHANGED 10002
QVU_API int32_t qvuCopyFileAsSeen(const char* src, int32_t dirFd, const char* name, const struct qvuSeen* seen,
    int32_t caps, int32_t bufSize, char* buf, int64_t* copied, struct timespec* stamped);

/* qvuCopyFileAsSeen that keeps the file it replaces: DST's old file ends up
 * under NAME in the open folder KEEPFD (O_PATH will do), which must be on the
 * same file system, and *KEPT (when not null) is set to 1, or to 0 when there
 * was nothing to replace. The old file is moved, not copied. Where the file
 * system has hard links, DST's name holds the old or the new file at every
 * moment and the kept file is in place before the new one is; where it has
 * none, the old file is renamed into KEEPFD just before the new one takes its
 * name. A failed copy leaves DST as it was and keeps nothing. EBADF for a
 * KEEPFD below 0. */
QVU_API int32_t qvuCopyFileKeeping(const char* src, int32_t dirFd, const char* name, const struct qvuSeen* seen,
    int32_t caps, int32_t keepFd, int32_t* kept, int32_t bufSize, char* buf, int64_t* copied, struct timespec* stamped);
/* On-disk size of a file in bytes (st_size, or the allocated size when that is
 * smaller). Returns 0 and leaves *size alone on failure and for anything that
 * is not a regular file. */
QVU_API int32_t qvuFileSize(const char* path, double* size);

/* Free bytes (all free blocks) and total bytes of the volume holding PATH. */
QVU_API int32_t qvuDiskSpace(const char* path, double* freeBytes, double* totalBytes);

/* Quotient truncated toward zero, reduced to its low 32 bits (unsigned). 0 when
 * there is no such quotient: division by zero, NaN, infinities, quotients
 * beyond the 64-bit range. */
QVU_API double qvuIntDev(double dividend, double divisor);

/* dividend - qvuIntDev(dividend, divisor) * divisor. */
QVU_API double qvuMod(double dividend, double divisor);

/* Absolute, lexically normalised form of PATH (the current folder for an empty
 * text) into BUF. 0 when it cannot be formed or does not fit. */
QVU_API int32_t qvuFullPath(const char* path, char* buf, int32_t bufSize);

/* fopen with MODE, close-on-exec; the handle is 0 on failure. qvuFclose and
 * qvuFputs refuse any handle that qvuFopen did not hand out or that is closed. */
QVU_API intptr_t qvuFopen(const char* path, const char* mode);

/* Closes a stream from qvuFopen; 0 on success, EOF for an unknown handle. */
QVU_API int32_t qvuFclose(intptr_t stream);

/* Makes PATH the process's current folder. */
QVU_API int32_t qvuSetCurDir(const char* path);

/* Red (bits 0-7), green (8-15) and blue (16-23) of a 0x00BBGGRR colour. Always 1. */
QVU_API int32_t qvuSplitColor(int32_t color, int32_t* red, int32_t* green, int32_t* blue);

/* Whole number that may contain thousands separators ("-1,234" -> -1234), from
 * the first 79 characters; clamped to INT32_MIN..INT32_MAX. */
QVU_API int32_t qvuAtoL(const char* text);

/* Decimal number that may contain thousands separators ("1,234.5" -> 1234.5);
 * "." is the decimal point whatever the locale. */
QVU_API double qvuCommaToDouble(const char* text);

/* Formats VALUE with FORMAT (one integer conversion) into BUF, which must hold
 * QVU_FORMAT_MAX bytes. The output is cut at QVU_FORMAT_MAX bytes, NUL
 * included; a format that is not exactly one %[flags][width][.precision]
 * d, i, u, x, X or o conversion with literal text around it ("%%" allowed)
 * gives an empty text. */
#define QVU_FORMAT_MAX 1024
QVU_API void qvuFormatLong(char* buf, const char* format, int32_t value);

/* Writes TEXT to a stream from qvuFopen and flushes it; the write's result
 * (negative on failure, a failed flush included). */
QVU_API int32_t qvuFputs(const char* text, intptr_t stream);

/* Runs COMMAND through /bin/sh -c; waits for it when WAIT is non-zero. 1 when
 * it started (and, when waited for, ended); the child inherits standard input,
 * output and error only. */
QVU_API int32_t qvuExecuteProcess(const char* command, int32_t wait);

/* The machine's host name into BUF; 0, BUF untouched, when it does not fit. */
QVU_API int32_t qvuGetMyMachineName(char* buf, int32_t bufSize);

/* 1 for ASCII 0-9, A-Z, a-z; else 0. */
QVU_API int32_t qvuIsAlNum(int32_t code);

/* Four bytes read as a little-endian 32-bit integer; 0 for a null pointer. */
QVU_API int32_t qvuByteToLong(const unsigned char* bytes);

/* memmove of LENGTH bytes; returns LENGTH, or 0 without copying when an
 * address is null or LENGTH is negative. qvuStrToByte is the same routine. */
QVU_API int32_t qvuMemcpy(void* dst, const void* src, int32_t length);
QVU_API int32_t qvuStrToByte(void* dst, const void* src, int32_t length);

/* The byte at ADDRESS + OFFSET, sign-extended; 0 for a null address. */
QVU_API int32_t qvuOffsetCode(const void* address, int32_t offset);

/* Window data: a record of three integers kept for a window handle (0 is no
 * window). Set returns the record's address (0 on failure); setting a handle
 * again reuses its record. Get copies the three values out when the handle has
 * a record; GetWindowUserData copies up to LENGTH bytes of the record (at most
 * its 12) into BUF, prints them as "%d," (0-255) on one line of standard error
 * and returns how many it copied (0 when the handle has no record). */
QVU_API intptr_t qvuSetQuorvaneGridData(intptr_t window, int32_t a, int32_t b, int32_t c);
QVU_API void qvuGetQuorvaneGridData(intptr_t window, int32_t* a, int32_t* b, int32_t* c);
QVU_API int32_t qvuGetWindowUserData(intptr_t window, int32_t length, unsigned char* buf);

#ifdef __cplusplus
}
#endif

#endif

/*
 * File and folder exports: sizes, the volume's space, absolute paths, the
 * current folder and C streams.
 */
#include "qvutil.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

int32_t qvuFileSize(const char* path, double* size)
{
    struct stat st;
    if (!path || !size || stat(path, &st) < 0 || !S_ISREG(st.st_mode))
        return 0;
    /* A sparse or compressed file takes less room than its length. */
    off_t bytes = st.st_size;
    if ((off_t)st.st_blocks * 512 < bytes)
        bytes = (off_t)st.st_blocks * 512;
    *size = (double)bytes;
    return 1;
}

int32_t qvuDiskSpace(const char* path, double* freeBytes, double* totalBytes)
{
    struct statvfs vfs;
    if (!path || !freeBytes || !totalBytes || statvfs(path, &vfs) < 0)
        return 0;
    *freeBytes = (double)vfs.f_bfree * (double)vfs.f_frsize;
    *totalBytes = (double)vfs.f_blocks * (double)vfs.f_frsize;
    return 1;
}

/* Appends TEXT's components to the absolute path OUT (LENGTH bytes, at least
 * "/"), dropping empty and "." components and letting ".." remove one. */
static void appendComponents(char* out, size_t* length, const char* text)
{
    while (*text) {
        size_t n = strcspn(text, "/");
        if (n == 2 && text[0] == '.' && text[1] == '.') {
            while (*length > 1 && out[*length - 1] != '/')
                --*length;
            if (*length > 1)
                --*length;
        } else if (n > 0 && !(n == 1 && text[0] == '.')) {
            if (*length > 1)
                out[(*length)++] = '/';
            memcpy(out + *length, text, n);
            *length += n;
        }
        text += n;
        if (*text == '/')
            ++text;
    }
}

/* Lexical: links are not resolved and the path need not exist. */
int32_t qvuFullPath(const char* path, char* buf, int32_t bufSize)
{
    if (!path || !buf || bufSize <= 0)
        return 0;
    char* cwd = NULL;
    if (path[0] != '/') {
        cwd = getcwd(NULL, 0);
        if (!cwd || cwd[0] != '/') {
            free(cwd);
            return 0;
        }
    }
    size_t pathLength = strlen(path);
    char* out = malloc((cwd ? strlen(cwd) : 0) + pathLength + 3);
    if (!out) {
        free(cwd);
        return 0;
    }
    size_t length = 1;
    out[0] = '/';
    if (cwd)
        appendComponents(out, &length, cwd);
    appendComponents(out, &length, path);
    if (pathLength > 0 && path[pathLength - 1] == '/' && length > 1)
        out[length++] = '/';
    out[length] = '\0';

    int32_t fits = length < (size_t)bufSize;
    if (fits)
        memcpy(buf, out, length + 1);
    free(out);
    free(cwd);
    return fits;
}

int32_t qvuSetCurDir(const char* path)
{
    return path && chdir(path) == 0;
}

/* The streams qvuFopen handed out and that are still open: a handle that is
 * not among them (0, made up, already closed) is refused instead of being
 * dereferenced. */
static pthread_mutex_t streamLock = PTHREAD_MUTEX_INITIALIZER;
static FILE** streams;
static size_t streamCount;
static size_t streamCapacity;

static int findStream(FILE* stream, size_t* index)
{
    for (size_t i = 0; i < streamCount; ++i) {
        if (streams[i] == stream) {
            *index = i;
            return 1;
        }
    }
    return 0;
}

static int registerStream(FILE* stream)
{
    int ok = 1;
    pthread_mutex_lock(&streamLock);
    if (streamCount == streamCapacity) {
        size_t capacity = streamCapacity ? streamCapacity * 2 : 16;
        FILE** grown = realloc(streams, capacity * sizeof *grown);
        if (grown) {
            streams = grown;
            streamCapacity = capacity;
        } else {
            ok = 0;
        }
    }
    if (ok)
        streams[streamCount++] = stream;
    pthread_mutex_unlock(&streamLock);
    return ok;
}

intptr_t qvuFopen(const char* path, const char* mode)
{
    if (!path || !mode)
        return 0;
    /* The mode gets "e" (close-on-exec) before any ",ccs=" part, so that
     * processes started meanwhile do not inherit the file. */
    char withCloexec[64];
    size_t modeLength = strlen(mode);
    if (modeLength + 2 > sizeof withCloexec)
        return 0;
    size_t flags = strcspn(mode, ",");
    memcpy(withCloexec, mode, flags);
    withCloexec[flags] = 'e';
    memcpy(withCloexec + flags + 1, mode + flags, modeLength - flags + 1);

    FILE* stream = fopen(path, withCloexec);
    if (!stream)
        return 0;
    if (!registerStream(stream)) {
        fclose(stream);
        return 0;
    }
    return (intptr_t)stream;
}

int32_t qvuFclose(intptr_t handle)
{
    FILE* stream = (FILE*)handle;
    size_t index;
    pthread_mutex_lock(&streamLock);
    int known = stream && findStream(stream, &index);
    if (known)
        streams[index] = streams[--streamCount];
    pthread_mutex_unlock(&streamLock);
    if (!known)
        return EOF;
    return fclose(stream) == 0 ? 0 : EOF;
}

/* A failed flush means the text did not reach the file, so it fails the call. */
int32_t qvuFputs(const char* text, intptr_t handle)
{
    FILE* stream = (FILE*)handle;
    size_t index;
    int result = EOF;
    pthread_mutex_lock(&streamLock);
    if (text && stream && findStream(stream, &index)) {
        result = fputs(text, stream);
        if (result >= 0 && fflush(stream) != 0)
            result = EOF;
    }
    pthread_mutex_unlock(&streamLock);
    return result;
}

/*
 * Window data: a record of three integers kept per window handle. No window
 * system is linked, so the library keeps the handle-to-record table itself.
 * Records are never freed: callers may hold the address Set returned.
 */
#include "qvutil.h"

#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define RECORD_BYTES (3 * sizeof(int32_t))

struct windowEntry {
    intptr_t window;
    int32_t* record;
};

static pthread_mutex_t tableLock = PTHREAD_MUTEX_INITIALIZER;
static struct windowEntry* table;
static size_t tableCount;
static size_t tableCapacity;

/* Call with tableLock held. */
static int32_t* recordOf(intptr_t window)
{
    for (size_t i = 0; i < tableCount; ++i) {
        if (table[i].window == window)
            return table[i].record;
    }
    return NULL;
}

/* The library's diagnostic message: one line on standard error, at most 127
 * characters of text after the library's name. */
__attribute__((format(printf, 1, 2))) static void ShowLibraryMessage(const char* format, ...)
{
    char text[128];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    fprintf(stderr, "libqvutil.so: %s\n", text);
}

/* Setting a handle that already has a record reuses it, so earlier addresses
 * stay valid and nothing leaks. */
intptr_t qvuSetQuorvaneGridData(intptr_t window, int32_t a, int32_t b, int32_t c)
{
    if (!window)
        return 0;
    pthread_mutex_lock(&tableLock);
    int32_t* record = recordOf(window);
    if (!record) {
        if (tableCount == tableCapacity) {
            size_t capacity = tableCapacity ? tableCapacity * 2 : 16;
            struct windowEntry* grown = realloc(table, capacity * sizeof *grown);
            if (grown) {
                table = grown;
                tableCapacity = capacity;
            }
        }
        if (tableCount < tableCapacity)
            record = calloc(1, RECORD_BYTES);
        if (record)
            table[tableCount++] = (struct windowEntry) { window, record };
    }
    if (record) {
        record[0] = a;
        record[1] = b;
        record[2] = c;
    }
    pthread_mutex_unlock(&tableLock);
    return (intptr_t)record;
}

void qvuGetQuorvaneGridData(intptr_t window, int32_t* a, int32_t* b, int32_t* c)
{
    pthread_mutex_lock(&tableLock);
    const int32_t* record = window ? recordOf(window) : NULL;
    if (record) {
        if (a)
            *a = record[0];
        if (b)
            *b = record[1];
        if (c)
            *c = record[2];
    }
    pthread_mutex_unlock(&tableLock);
}

/* Copies at most the record's 12 bytes, however many are asked for. */
int32_t qvuGetWindowUserData(intptr_t window, int32_t length, unsigned char* buf)
{
    if (!window || !buf || length <= 0)
        return 0;
    size_t count = 0;
    pthread_mutex_lock(&tableLock);
    const int32_t* record = recordOf(window);
    if (record) {
        count = (size_t)length < RECORD_BYTES ? (size_t)length : RECORD_BYTES;
        memcpy(buf, record, count);
    }
    pthread_mutex_unlock(&tableLock);
    if (!count)
        return 0;

    char bytes[RECORD_BYTES * 4 + 1];
    size_t used = 0;
    for (size_t i = 0; i < count; ++i)
        used += (size_t)snprintf(bytes + used, sizeof bytes - used, "%d,", buf[i]);
    ShowLibraryMessage("%s", bytes);
    return (int32_t)count;
}

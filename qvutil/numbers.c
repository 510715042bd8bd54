/*
 * Arithmetic, number parsing and formatting, and byte helpers.
 */
#include "qvutil.h"

#include <limits.h>
#include <locale.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Division by zero, NaN, infinities and quotients outside the 64-bit range
 * have no truncated 64-bit quotient; they give 0. */
double qvuIntDev(double dividend, double divisor)
{
    if (divisor == 0)
        return 0;
    double quotient = dividend / divisor;
    if (!(quotient >= -9223372036854775808.0 && quotient < 9223372036854775808.0))
        return 0;
    return (double)(uint32_t)(uint64_t)(int64_t)quotient;
}

double qvuMod(double dividend, double divisor)
{
    return dividend - qvuIntDev(dividend, divisor) * divisor;
}

int32_t qvuSplitColor(int32_t color, int32_t* red, int32_t* green, int32_t* blue)
{
    uint32_t bits = (uint32_t)color;
    if (red)
        *red = (int32_t)(bits & 0xff);
    if (green)
        *green = (int32_t)((bits >> 8) & 0xff);
    if (blue)
        *blue = (int32_t)((bits >> 16) & 0xff);
    return 1;
}

static int isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/* Numbers beyond the 32-bit range are clamped to INT32_MIN or INT32_MAX. */
int32_t qvuAtoL(const char* text)
{
    if (!text)
        return 0;
    char kept[80];
    size_t count = 0;
    for (size_t i = 0; i < sizeof kept - 1 && text[i]; ++i) {
        char c = text[i];
        if (isDigit(c))
            kept[count++] = c;
        else if (count == 0) {
            if (c == '-' || c == '+')
                kept[count++] = c;
        } else if (c != ',')
            break;
    }
    size_t i = 0;
    int negative = count > 0 && kept[0] == '-';
    if (count > 0 && (kept[0] == '-' || kept[0] == '+'))
        i = 1;
    int64_t magnitude = 0;
    const int64_t limit = (int64_t)INT32_MAX + 1;
    for (; i < count && magnitude < limit; ++i)
        magnitude = magnitude * 10 + (kept[i] - '0');
    if (negative)
        return magnitude >= limit ? INT32_MIN : (int32_t)-magnitude;
    return magnitude > INT32_MAX ? INT32_MAX : (int32_t)magnitude;
}

/* Numbers are read with "." as the decimal point whatever the program's
 * locale (Qt sets LC_NUMERIC from the environment). */
static locale_t numericLocale;
static pthread_once_t numericLocaleOnce = PTHREAD_ONCE_INIT;

static void makeNumericLocale(void)
{
    numericLocale = newlocale(LC_NUMERIC_MASK, "C", (locale_t)0);
}

double qvuCommaToDouble(const char* text)
{
    if (!text)
        return 0;
    char kept[260];
    size_t count = 0;
    for (size_t i = 0; i < sizeof kept - 1; ++i) {
        char c = text[i];
        if (isDigit(c) || c == '.' || c == '-')
            kept[count++] = c;
        else if (c != ',')
            break;
    }
    kept[count] = '\0';
    pthread_once(&numericLocaleOnce, makeNumericLocale);
    return numericLocale ? strtod_l(kept, NULL, numericLocale) : strtod(kept, NULL);
}

/* Reads a field width or precision; refuses one whose output could not fit
 * the QVU_FORMAT_MAX bytes anyway. */
static int readFieldSize(const char** p)
{
    int value = 0;
    while (isDigit(**p)) {
        value = value * 10 + (**p - '0');
        if (value >= QVU_FORMAT_MAX)
            return 0;
        ++*p;
    }
    return 1;
}

/* The conversion character of FORMAT when it is literal text ("%%" allowed)
 * with exactly one %[flags][width][.precision] d, i, u, x, X or o; else 0. */
static char integerConversion(const char* format)
{
    char conversion = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        if (conversion)
            return 0;
        while (*p && strchr("-+ #0", *p))
            ++p;
        if (!readFieldSize(&p))
            return 0;
        if (*p == '.') {
            ++p;
            if (!readFieldSize(&p))
                return 0;
        }
        if (!*p || !strchr("diuxXo", *p))
            return 0;
        conversion = *p;
    }
    return conversion;
}

/* Only a vetted format reaches snprintf: the text comes from callers, and a
 * "%s" or "%n" in it would read or write through a missing argument. */
void qvuFormatLong(char* buf, const char* format, int32_t value)
{
    if (!buf)
        return;
    buf[0] = '\0';
    char conversion = format ? integerConversion(format) : 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    if (conversion == 'd' || conversion == 'i')
        snprintf(buf, QVU_FORMAT_MAX, format, (int)value);
    else if (conversion)
        snprintf(buf, QVU_FORMAT_MAX, format, (unsigned)value);
#pragma GCC diagnostic pop
}

int32_t qvuIsAlNum(int32_t code)
{
    return (code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z');
}

int32_t qvuByteToLong(const unsigned char* bytes)
{
    if (!bytes)
        return 0;
    uint32_t value = (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 | (uint32_t)bytes[3] << 24;
    return (int32_t)value;
}

static int32_t moveBytes(void* dst, const void* src, int32_t length)
{
    if (!dst || !src || length < 0)
        return 0;
    memmove(dst, src, (size_t)length);
    return length;
}

int32_t qvuMemcpy(void* dst, const void* src, int32_t length)
{
    return moveBytes(dst, src, length);
}

int32_t qvuStrToByte(void* dst, const void* src, int32_t length)
{
    return moveBytes(dst, src, length);
}

int32_t qvuOffsetCode(const void* address, int32_t offset)
{
    if (!address)
        return 0;
    return ((const signed char*)address)[offset];
}

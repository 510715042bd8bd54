/* A libqvutil that has only qvuFullPath, for the binding tests. */
#include "qvutil/qvutil.h"

#include <string.h>

int32_t qvuFullPath(const char* path, char* buf, int32_t bufSize)
{
    if (!path || !buf || bufSize < 2)
        return 0;
    strcpy(buf, "/");
    return 1;
}

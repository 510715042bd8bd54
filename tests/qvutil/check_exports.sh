#!/bin/sh
# Usage: check_exports.sh LIBRARY
# Fails unless LIBRARY exports exactly the functions declared in qvutil.h.
set -eu
expected=$(sort <<NAMES
qvuAtoL
qvuByteToLong
qvuCommaToDouble
qvuCopyFile
qvuCopyFileCounted
qvuCopyFileAt
qvuCopyFileAsSeen
qvuCopyFileKeeping
qvuCopyFileKnown
qvuDiskSpace
qvuExecuteProcess
qvuFclose
qvuFileSize
qvuFopen
qvuFormatLong
qvuFputs
qvuFullPath
qvuGetMyMachineName
qvuGetQuorvaneGridData
qvuGetWindowUserData
qvuIntDev
qvuIsAlNum
qvuMemcpy
qvuMod
qvuOffsetCode
qvuProbeFolder
qvuSetCurDir
qvuSetQuorvaneGridData
qvuSplitColor
qvuStrToByte
NAMES
)
# Absolute symbols (type A) are linker bookkeeping, not exports.
actual=$(nm -D --defined-only "$1" | awk '$2 != "A" { print $3 }' | sort)
[ "$actual" = "$expected" ] && exit 0
echo "missing: $(printf '%s\n' "$expected" | grep -vxF "$actual" | tr '\n' ' ')"
echo "unexpected: $(printf '%s\n' "$actual" | grep -vxF "$expected" | tr '\n' ' ')"
exit 1

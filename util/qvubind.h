// Run-time binding of the helper library libqvutil.
//
// The program does not link against libqvutil: the library is loaded at the
// first call of one of these wrappers (beside the executable first, then the
// system's search path), and each function is looked up by its export name at
// its own first call and kept. When the library or a function cannot be had,
// the wrapper answers with that function's failure value and bindError()
// describes why; callers treat it like any other failure.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>

struct qvuSeen;

namespace qvu {

// Error code a wrapper reports when its function could not be bound.
constexpr std::int32_t kUnboundCode = ELIBACC;

// Why the last failed binding failed (empty when nothing failed).
std::string bindError();

std::int32_t CopyFile(const char* src, const char* dst, std::int32_t bufSize, char* buf);
// CopyFile that keeps *COPIED at how far into the file the copy has come.
std::int32_t CopyFileCounted(
    const char* src, const char* dst, std::int32_t bufSize, char* buf, std::atomic<std::int64_t>& copied);
// CopyFileCounted (COPIED may be null) told what the caller found out about
// DST a moment before: one of the library's QVU_DST_* values. STAMPED gets the
// access and modification times the copy carries, read back from it; zeros
// when they are not known.
std::int32_t CopyFileKnown(const char* src, const char* dst, std::int32_t known, std::int32_t bufSize, char* buf,
    std::atomic<std::int64_t>* copied, timespec (&stamped)[2]);
// CopyFileKnown onto NAME in the open folder DIR_FD, in the way CAPS (from
// ProbeFolder) says its file system takes new files; a library without it
// copies onto the path DST.
std::int32_t CopyFileAt(const char* src, int dirFd, const char* name, const char* dst, std::int32_t known,
    std::int32_t caps, std::int32_t bufSize, char* buf, std::atomic<std::int64_t>* copied, timespec (&stamped)[2]);
// CopyFileAt for a copy decided on what SEEN (the library's struct qvuSeen,
// may be null) says of DST; a library without it copies as CopyFileAt with KNOWN.
std::int32_t CopyFileAsSeen(const char* src, int dirFd, const char* name, const char* dst, const ::qvuSeen* seen,
    std::int32_t known, std::int32_t caps, std::int32_t bufSize, char* buf, std::atomic<std::int64_t>* copied,
    timespec (&stamped)[2]);
// CopyFileAsSeen that keeps the file it replaces under NAME in the open
// folder KEEP_FD, with *KEPT telling whether there was one. Unlike the other
// copies it has no fallback: a library without it copies nothing and fails
// with kUnboundCode, since a copy that forgot the old file would lose it.
std::int32_t CopyFileKeeping(const char* src, int dirFd, const char* name, const ::qvuSeen* seen, std::int32_t caps,
    int keepFd, bool& kept, std::int32_t bufSize, char* buf, std::atomic<std::int64_t>* copied, timespec (&stamped)[2]);
// What the folder DIR_FD's file system does with new files (the library's
// QVU_FS_* bits); 0 when the library cannot tell, which lets the copy find out.
std::int32_t ProbeFolder(int dirFd);
bool FileSize(const char* path, double& size);
bool DiskSpace(const char* path, double& freeBytes, double& totalBytes);
double IntDev(double dividend, double divisor);
double Mod(double dividend, double divisor);
bool FullPath(const char* path, char* buf, std::int32_t bufSize);
std::intptr_t Fopen(const char* path, const char* mode);
std::int32_t Fclose(std::intptr_t stream);
bool SetCurDir(const char* path);
bool SplitColor(std::int32_t color, std::int32_t& red, std::int32_t& green, std::int32_t& blue);

} // namespace qvu

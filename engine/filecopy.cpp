#include "filecopy.h"

#include "qvubind.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr std::int32_t kMessageBufferSize = 260;

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

CopyResult copyOneFile(const std::string& src, const CopyTarget& dst, const timespec& atime, const timespec& mtime)
{
    char message[kMessageBufferSize] = {};
    std::int32_t code = qvu::CopyFile(src.c_str(), dst.path.c_str(), kMessageBufferSize, message);
    if (code != 0) {
        std::string text(message);
        if (code == qvu::kUnboundCode && text.empty())
            text = qvu::bindError();
        return { code, text };
    }
    CopyTimeStamps(atime, mtime, dst);
    return {};
}

bool CopyTimeStamps(const timespec& atime, const timespec& mtime, const CopyTarget& dst)
{
    const bool inFolder = dst.dirFd >= 0 && dst.name;
    const int dirFd = inFolder ? dst.dirFd : AT_FDCWD;
    const char* name = inFolder ? dst.name : dst.path.c_str();
    // The copy normally carries these very times already; looking costs less
    // than a write, which the file system would have to journal.
    struct stat st;
    if (fstatat(dirFd, name, &st, 0) != 0)
        return false;
    if (sameTime(st.st_atim, atime) && sameTime(st.st_mtim, mtime))
        return true;
    const timespec times[2] = { atime, mtime };
    return utimensat(dirFd, name, times, 0) == 0;
}

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

CopyResult copyOneFile(const std::string& src, const std::string& dst, const timespec& atime, const timespec& mtime)
{
    char message[kMessageBufferSize] = {};
    std::int32_t code = qvu::CopyFile(src.c_str(), dst.c_str(), kMessageBufferSize, message);
    if (code != 0) {
        std::string text(message);
        if (code == qvu::kUnboundCode && text.empty())
            text = qvu::bindError();
        return { code, text };
    }
    CopyTimeStamps(atime, mtime, dst);
    return {};
}

bool CopyTimeStamps(const timespec& atime, const timespec& mtime, const std::string& dst)
{
    // The copy normally carries these very times already; looking costs less
    // than a write, which the file system would have to journal.
    struct stat st;
    if (stat(dst.c_str(), &st) != 0)
        return false;
    if (sameTime(st.st_atim, atime) && sameTime(st.st_mtim, mtime))
        return true;
    const timespec times[2] = { atime, mtime };
    return utimensat(AT_FDCWD, dst.c_str(), times, 0) == 0;
}

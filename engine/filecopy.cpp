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

bool later(const timespec& a, const timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

} // namespace

CopyResult copyOneFile(const std::string& src, const std::string& dst)
{
    char message[kMessageBufferSize] = {};
    std::int32_t code = qvu::CopyFile(src.c_str(), dst.c_str(), kMessageBufferSize, message);
    if (code != 0) {
        std::string text(message);
        if (code == qvu::kUnboundCode && text.empty())
            text = qvu::bindError();
        return { code, text };
    }
    CopyTimeStamps(src, dst);
    return {};
}

bool CopyTimeStamps(const std::string& src, const std::string& dst)
{
    struct stat from, to;
    if (stat(src.c_str(), &from) != 0 || stat(dst.c_str(), &to) != 0)
        return false;
    if (later(from.st_mtim, to.st_mtim))
        return false;
    // The copy carries the times, so they normally agree already; the source's
    // access time alone has moved, by the copy's own reading, and is not worth a write.
    if (sameTime(from.st_mtim, to.st_mtim))
        return true;
    const timespec times[2] = { from.st_atim, from.st_mtim };
    return utimensat(AT_FDCWD, dst.c_str(), times, 0) == 0;
}

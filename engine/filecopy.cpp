#include "filecopy.h"

#include "qvutil/qvutil.h"
#include "util/qvubind.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int32_t kMessageBufferSize = 260;

static_assert(kSourceChanged == QVU_SOURCE_CHANGED && kDestinationChanged == QVU_DESTINATION_CHANGED);
static_assert(static_cast<int>(KnownDestination::Unknown) == QVU_DST_UNKNOWN
    && static_cast<int>(KnownDestination::Missing) == QVU_DST_MISSING
    && static_cast<int>(KnownDestination::Replaceable) == QVU_DST_REPLACEABLE);

// Whether the time KEPT on a file stands for WANTED. A file system that keeps
// whole seconds only (SFTP, for one) drops the fraction; setting the time
// again would cost a round trip and change nothing.
bool sameTime(const timespec& kept, const timespec& wanted)
{
    return kept.tv_sec == wanted.tv_sec && (kept.tv_nsec == wanted.tv_nsec || kept.tv_nsec == 0);
}

// A character that FAT and exFAT (and Windows) do not allow in a name.
bool refusedOnFat(unsigned char c)
{
    return c < 0x20 || c == '"' || c == '*' || c == ':' || c == '<' || c == '>' || c == '?' || c == '\\' || c == '|';
}

// Whether a failure CODE to copy SRC onto DST may come from a name the
// destination does not allow: file systems answer that with codes that point
// elsewhere (exFAT through FUSE says the file does not exist), so the source
// and the destination folder must both still be there.
bool nameMayBeRefused(std::int32_t code, const std::string& src, const CopyTarget& dst)
{
    if (code != ENOENT && code != EINVAL && code != EPERM)
        return false;
    const std::string name = dst.name ? dst.name : dst.path.substr(dst.path.rfind('/') + 1);
    if (std::none_of(name.begin(), name.end(), [](char c) { return refusedOnFat(static_cast<unsigned char>(c)); }))
        return false;
    struct stat st;
    if (stat(src.c_str(), &st) != 0)
        return false;
    if (dst.dirFd >= 0)
        return fstat(dst.dirFd, &st) == 0 && st.st_nlink > 0;
    const size_t slash = dst.path.rfind('/');
    return slash == std::string::npos || stat(slash == 0 ? "/" : dst.path.substr(0, slash).c_str(), &st) == 0;
}

} // namespace

CopyResult copyOneFile(const std::string& src, const CopyTarget& dst, const timespec& atime, const timespec& mtime,
    std::atomic<std::int64_t>* copied)
{
    char message[kMessageBufferSize] = {};
    timespec stamped[2] = {};
    const auto known = static_cast<std::int32_t>(dst.known);
    std::int32_t code;
    bool kept = false;
    if (dst.keepFd >= 0) {
        const qvuSeen seen { dst.seen && dst.seen->exists, dst.seen ? dst.seen->size : 0,
            dst.seen ? dst.seen->mtime : timespec {} };
        code = qvu::CopyFileKeeping(src.c_str(), dst.dirFd, dst.name, dst.seen ? &seen : nullptr, dst.caps, dst.keepFd,
            kept, kMessageBufferSize, message, copied, stamped);
    } else if (dst.dirFd < 0 || !dst.name) {
        code = qvu::CopyFileKnown(src.c_str(), dst.path.c_str(), known, kMessageBufferSize, message, copied, stamped);
    } else if (dst.seen) {
        const qvuSeen seen { dst.seen->exists, dst.seen->size, dst.seen->mtime };
        code = qvu::CopyFileAsSeen(src.c_str(), dst.dirFd, dst.name, dst.path.c_str(), &seen, known, dst.caps,
            kMessageBufferSize, message, copied, stamped);
    } else {
        code = qvu::CopyFileAt(src.c_str(), dst.dirFd, dst.name, dst.path.c_str(), known, dst.caps, kMessageBufferSize,
            message, copied, stamped);
    }
    if (code != 0) {
        std::string text(message);
        if (code == kSourceChanged)
            text = "コピー元がコピー中に変更されたため、コピーしません";
        else if (code == kDestinationChanged)
            text = "コピー先が他のプログラムに書き換えられ続けたため、コピーしません";
        else if (code == qvu::kUnboundCode && text.empty())
            text = qvu::bindError();
        else if (dst.keepFd >= 0 && code == EXDEV)
            text = "置き換える前のファイルを別のファイルシステムにある版の保存フォルダへ移せないため、コピーしません";
        else if (nameMayBeRefused(code, src, dst))
            text += "（この名前はコピー先のファイルシステムでは使えない可能性があります）";
        return { code, text };
    }
    CopyResult done;
    done.kept = kept;
    const bool readBack = sameTime(stamped[0], atime) && sameTime(stamped[1], mtime);
    if (readBack && dst.stampsHold && dst.stampsHold->load(std::memory_order_relaxed))
        return done;
    if (stampTimes(atime, mtime, dst) == Stamping::AlreadyThere && readBack && dst.stampsHold)
        dst.stampsHold->store(true, std::memory_order_relaxed);
    return done;
}

void readSourceAhead(const std::string& src, std::int64_t bytes)
{
    // A FIFO is never opened (that would release a writer waiting on it), and
    // O_NONBLOCK keeps one swapped in after the look from holding the open.
    struct stat st;
    if (stat(src.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = open(src.c_str(), flags | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = open(src.c_str(), flags);
    if (fd < 0)
        return;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        posix_fadvise(fd, 0, std::min<off_t>(bytes, st.st_size), POSIX_FADV_WILLNEED);
    close(fd);
}

bool CopyTimeStamps(const timespec& atime, const timespec& mtime, const CopyTarget& dst)
{
    return stampTimes(atime, mtime, dst) != Stamping::Failed;
}

Stamping stampTimes(const timespec& atime, const timespec& mtime, const CopyTarget& dst)
{
    const bool inFolder = dst.dirFd >= 0 && dst.name;
    const int dirFd = inFolder ? dst.dirFd : AT_FDCWD;
    const char* name = inFolder ? dst.name : dst.path.c_str();
    // The copy normally carries these very times already; looking costs less
    // than a write, which the file system would have to journal.
    struct stat st;
    if (fstatat(dirFd, name, &st, 0) != 0)
        return Stamping::Failed;
    if (sameTime(st.st_atim, atime) && sameTime(st.st_mtim, mtime))
        return Stamping::AlreadyThere;
    const timespec times[2] = { atime, mtime };
    return utimensat(dirFd, name, times, 0) == 0 ? Stamping::Set : Stamping::Failed;
}

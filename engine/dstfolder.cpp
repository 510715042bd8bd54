#include "dstfolder.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

} // namespace

FolderFd FolderFd::open(const std::string& path)
{
    return FolderFd(::open(path.c_str(), kFolderFlags));
}

FolderFd& FolderFd::operator=(FolderFd&& other) noexcept
{
    if (this != &other) {
        reset();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FolderFd FolderFd::dup() const
{
    return FolderFd(fd_ >= 0 ? fcntl(fd_, F_DUPFD_CLOEXEC, 0) : -1);
}

void FolderFd::reset()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

OpenedFolder openDestinationFolder(int parentFd, const std::string& name, uid_t euid)
{
    OpenedFolder opened;
    opened.fd = FolderFd(openat(parentFd, name.c_str(), kFolderFlags | O_NOFOLLOW));
    if (opened.fd.get() >= 0)
        return opened;
    opened.error = errno;
    // A link, or a file, stands in the folder's place.
    if (opened.error != ENOTDIR && opened.error != ELOOP)
        return opened;
    const FolderFd link(openat(parentFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (link.get() < 0 || fstat(link.get(), &st) != 0) {
        opened.error = errno;
        return opened;
    }
    if (!S_ISLNK(st.st_mode)) {
        opened.error = ENOTDIR;
        return opened;
    }
    if (st.st_uid != euid && st.st_uid != 0) {
        opened.error = EACCES;
        opened.foreignLinkOwner = st.st_uid;
        return opened;
    }
    char target[PATH_MAX];
    const ssize_t length = readlinkat(link.get(), "", target, sizeof target - 1);
    if (length < 0) {
        opened.error = errno;
        return opened;
    }
    target[length] = '\0';
    opened.fd = FolderFd(openat(target[0] == '/' ? AT_FDCWD : parentFd, target, kFolderFlags));
    opened.error = opened.fd.get() >= 0 ? 0 : errno;
    return opened;
}

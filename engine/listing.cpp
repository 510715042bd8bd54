#include "listing.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <memory>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

bool isDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// File-system types, from statfs, that linux/magic.h does not name.
constexpr long kFuseMagic = 0x65735546;
constexpr long kCifsMagic = 0xFF534D42;
constexpr long kSmb2Magic = 0xFE534D42;
constexpr long kCephMagic = 0x00C36400;

} // namespace

int ListFolder(const std::string& folder, Listing& listing, const std::function<bool()>& keepGoing)
{
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // Closed however the listing ends: KEEP_GOING may throw.
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(fd), closedir);
    if (!dir) {
        int error = errno;
        close(fd);
        return error;
    }

    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry) {
            error = errno;
            break;
        }
        if (!keepGoing())
            break;
        if (isDotOrDotDot(entry->d_name))
            continue;
        // The entry type from the directory saves a stat for folders; files
        // need one anyway for their time, and links and unknown types are
        // resolved by it.
        if (entry->d_type == DT_DIR) {
            listing.folders.emplace_back(entry->d_name);
            continue;
        }
        struct stat st;
        if (fstatat(fd, entry->d_name, &st, 0) != 0)
            listing.files.push_back({ entry->d_name, {}, {}, 0, errno });
        else if (S_ISDIR(st.st_mode))
            listing.folders.emplace_back(entry->d_name);
        else
            listing.files.push_back({ entry->d_name, st.st_atim, st.st_mtim, st.st_size, 0 });
    }
    return error;
}

int listNames(int dirFd, std::unordered_set<std::string>& names)
{
    const int fd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        const int error = errno;
        close(fd);
        return error;
    }
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        if (!isDotOrDotDot(entry->d_name))
            names.emplace(entry->d_name);
    }
    closedir(dir);
    return error;
}

bool isDistantFolder(int fd)
{
    struct statfs fs;
    if (fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<long>(fs.f_type)) {
    case kFuseMagic:
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case kCifsMagic:
    case kSmb2Magic:
    case V9FS_MAGIC:
    case AFS_SUPER_MAGIC:
    case AFS_FS_MAGIC:
    case CODA_SUPER_MAGIC:
    case kCephMagic:
        return true;
    default:
        return false;
    }
}

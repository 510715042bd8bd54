#include "listing.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

} // namespace

int ListFolder(const std::string& folder, Listing& listing, const std::function<bool()>& keepGoing)
{
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        int error = errno;
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
    closedir(dir);
    return error;
}

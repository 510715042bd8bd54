#include "versions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kStampFormat = "%Y-%m-%d_%H%M%S";
constexpr int kNameAttempts = 100;
constexpr std::time_t kDaySeconds = 24 * 60 * 60;

// The start of the run that made the folder NAME, read from its name; -1
// when the name is not one a run gives.
std::time_t runStartOf(const std::string& name)
{
    std::tm parts {};
    const char* end = strptime(name.c_str(), kStampFormat, &parts);
    if (!end || (*end != '\0' && *end != '-'))
        return -1;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

// Removes NAME in PARENT_FD with everything in it; links are removed, never
// followed. False when something stays.
bool removeTree(int parentFd, const char* name)
{
    const int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return false;
    }
    bool whole = true;
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat st;
        if (fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            whole = false;
        else if (S_ISDIR(st.st_mode))
            whole = removeTree(fd, entry->d_name) && whole;
        else if (unlinkat(fd, entry->d_name, 0) != 0)
            whole = false;
    }
    closedir(dir);
    return unlinkat(parentFd, name, AT_REMOVEDIR) == 0 && whole;
}

} // namespace

std::string versionsRunName(std::time_t start)
{
    std::tm local {};
    localtime_r(&start, &local);
    char name[32];
    std::strftime(name, sizeof name, kStampFormat, &local);
    return name;
}

RunVersions::RunVersions(int topFd, std::string runName, mode_t mode)
    : topFd_(topFd)
    , runName_(std::move(runName))
    , mode_((mode & 07777) | S_IRWXU)
{
}

FolderFd RunVersions::madeBelow(int parentFd, const std::string& name)
{
    const bool made = mkdirat(parentFd, name.c_str(), mode_) == 0;
    if (!made && errno != EEXIST)
        return FolderFd();
    FolderFd folder(openat(parentFd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    // Made by root for someone else's destination, it is theirs, as the
    // destination is: they can restore from it and prune it.
    struct stat top;
    if (made && folder.get() >= 0 && geteuid() == 0 && fstat(topFd_, &top) == 0)
        fchownat(parentFd, name.c_str(), top.st_uid, top.st_gid, AT_SYMLINK_NOFOLLOW);
    return folder;
}

int RunVersions::runFolder()
{
    if (run_.get() >= 0)
        return run_.get();
    const FolderFd versions = madeBelow(topFd_, kVersionsFolder);
    if (versions.get() < 0)
        return -1;
    // A folder of its own, even when a run of the same second made one.
    for (int attempt = 1; attempt <= kNameAttempts; ++attempt) {
        const std::string name = attempt == 1 ? runName_ : runName_ + '-' + std::to_string(attempt);
        if (mkdirat(versions.get(), name.c_str(), mode_) != 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        FolderFd run(openat(versions.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        const int marker = run.get() < 0
            ? -1
            : openat(run.get(), kVersionsMarker, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (marker < 0) {
            const int error = errno;
            unlinkat(versions.get(), name.c_str(), AT_REMOVEDIR);
            errno = error;
            return -1;
        }
        close(marker);
        struct stat top;
        if (geteuid() == 0 && fstat(topFd_, &top) == 0) {
            fchownat(versions.get(), name.c_str(), top.st_uid, top.st_gid, AT_SYMLINK_NOFOLLOW);
            fchownat(run.get(), kVersionsMarker, top.st_uid, top.st_gid, AT_SYMLINK_NOFOLLOW);
        }
        madeName_ = name;
        run_ = std::move(run);
        return run_.get();
    }
    errno = EEXIST;
    return -1;
}

FolderFd RunVersions::folderFor(const std::string& relative)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const int run = runFolder();
    if (run < 0)
        return FolderFd();
    FolderFd folder(fcntl(run, F_DUPFD_CLOEXEC, 0));
    for (size_t at = 0; at < relative.size() && folder.get() >= 0;) {
        size_t slash = relative.find('/', at);
        if (slash == std::string::npos)
            slash = relative.size();
        if (slash > at)
            folder = madeBelow(folder.get(), relative.substr(at, slash - at));
        at = slash + 1;
    }
    return folder;
}

std::string RunVersions::madeName() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return madeName_;
}

int pruneVersions(const std::string& destination, const Retention& retention, std::time_t now)
{
    const FolderFd top = FolderFd::open(destination);
    if (top.get() < 0)
        return 0;
    const int fd = openat(top.get(), kVersionsFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 0;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return 0;
    }
    // The run folders: folders (not links) with a name a run gives and the
    // marker, a regular file, in them.
    std::vector<std::string> runs;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st;
        if (runStartOf(name) < 0 || fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
            continue;
        const std::string marker = name + '/' + kVersionsMarker;
        if (fstatat(fd, marker.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            runs.push_back(name);
    }
    // Newest first.
    std::sort(runs.begin(), runs.end(), [](const std::string& a, const std::string& b) {
        const std::time_t ta = runStartOf(a);
        const std::time_t tb = runStartOf(b);
        return ta != tb ? ta > tb : a > b;
    });
    const int count = std::max(retention.count, 1);
    int removed = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        // The run about to begin is one of the last COUNT runs.
        const bool old = retention.by == Retention::By::Runs ? i + 1 >= static_cast<size_t>(count)
                                                             : runStartOf(runs[i]) < now - count * kDaySeconds;
        if (old && removeTree(fd, runs[i].c_str()))
            ++removed;
    }
    closedir(dir);
    return removed;
}

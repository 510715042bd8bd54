#include "paths.h"

#include "qvubind.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Absolute, lexically normalised form through the helper library; empty on failure.
std::string absoluteForm(const std::string& path)
{
    std::vector<char> buf(PATH_MAX + 1, '\0');
    if (!qvu::FullPath(path.c_str(), buf.data(), static_cast<std::int32_t>(buf.size())))
        return {};
    return std::string(buf.data());
}

// True when the existing folder PATH sits on another device than its parent.
bool isMountPoint(const std::string& path)
{
    if (path == "/")
        return true;
    struct stat self, parent;
    if (stat(path.c_str(), &self) != 0 || !S_ISDIR(self.st_mode))
        return false;
    if (stat((path + "/..").c_str(), &parent) != 0)
        return false;
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

// The folder above PATH, or "/" at the top.
std::string parentOrRoot(const std::string& path)
{
    std::string parent = ParentFolder(path);
    return parent.empty() ? "/" : parent;
}

} // namespace

bool bIsFolder(const std::string& path)
{
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool bFileExists(const std::string& path)
{
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)
        && faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
}

bool bIsRootPath(const std::string& path)
{
    if (path.empty())
        return false;
    std::string full = absoluteForm(path);
    return !full.empty() && isMountPoint(RemoveBackslash(full));
}

bool bMakeFolder(const std::string& path)
{
    std::string folder = RemoveBackslash(path);
    if (bIsFolder(folder))
        return true;
    if (!folder.empty() && mkdir(folder.c_str(), 0777) == 0)
        return true;
    std::string parent = ParentFolder(folder);
    if (parent.empty() || !bMakeFolder(parent))
        return false;
    return mkdir(folder.c_str(), 0777) == 0 || (errno == EEXIST && bIsFolder(folder));
}

std::string AddBackslash(const std::string& path)
{
    if (!path.empty() && path.back() == '/')
        return path;
    return path + '/';
}

std::string RemoveBackslash(const std::string& path)
{
    if (path.size() > 1 && path.back() == '/')
        return path.substr(0, path.size() - 1);
    return path;
}

std::string ParentFolder(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return {};
    return path.substr(0, slash);
}

std::string ExtensionOf(const std::string& path)
{
    auto dot = path.rfind('.');
    auto slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return path.substr(dot + 1);
}

std::string FileNamePart(const std::string& path)
{
    std::string trimmed = path;
    if (!trimmed.empty() && trimmed.back() == '/')
        trimmed.pop_back();
    auto slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string RootOfPath(const std::string& path)
{
    if (path.empty())
        return {};
    std::string folder = RemoveBackslash(absoluteForm(path));
    if (folder.empty())
        return {};
    // Climb to the nearest existing folder, resolve its links, then climb to
    // the first folder that sits on another device than its parent.
    while (!bIsFolder(folder))
        folder = parentOrRoot(folder);
    char resolved[PATH_MAX];
    if (!realpath(folder.c_str(), resolved))
        return {};
    folder = resolved;
    while (!isMountPoint(folder))
        folder = parentOrRoot(folder);
    return AddBackslash(folder);
}

std::string ShortcutTarget(const std::string& path)
{
    if (path.empty())
        return {};
    std::string link = path + ".lnk";
    std::vector<char> target(PATH_MAX + 1);
    ssize_t n = readlink(link.c_str(), target.data(), target.size() - 1);
    if (n <= 0)
        return {};
    std::string text(target.data(), static_cast<size_t>(n));
    if (text.front() == '/')
        return text;
    return absoluteForm(AddBackslash(parentOrRoot(absoluteForm(link))) + text);
}

std::string ProgramFolder()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    const std::string program(path, static_cast<size_t>(n));
    return program.substr(0, program.rfind('/') + 1);
}

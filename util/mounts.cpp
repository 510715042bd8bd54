#include "mounts.h"

#include "ownfiles.h"
#include "paths.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far more than any real table holds; a regular file that goes on beyond it is
// read no further.
constexpr std::size_t kLongestTable = 16 << 20;

// The text of a regular file; nothing when it cannot be opened. A pipe or a
// device is refused without waiting on it.
std::optional<std::string> tableText(const std::string& path)
{
    const int fd = openRegularForReading(path);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buffer[65536];
    while (text.size() < kLongestTable) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return text;
}

std::vector<std::string> fieldsOf(const std::string& line)
{
    static const char blanks[] = " \t\r";
    std::vector<std::string> fields;
    std::size_t start = line.find_first_not_of(blanks);
    while (start != std::string::npos) {
        const std::size_t end = line.find_first_of(blanks, start);
        fields.push_back(line.substr(start, end - start));
        start = line.find_first_not_of(blanks, end);
    }
    return fields;
}

std::string trimmed(const std::string& text)
{
    const std::size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string::npos)
        return {};
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

// fstab and mountinfo write a blank inside a path as \040, a tab as \011 and
// a backslash as \134.
std::string unescapedOctal(const std::string& text)
{
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3' && text[i + 2] >= '0'
            && text[i + 2] <= '7' && text[i + 3] >= '0' && text[i + 3] <= '7') {
            plain += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
            i += 3;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

// The elements of PATH, without the empty ones and ".".
std::vector<std::string> partsOf(const std::string& path)
{
    std::vector<std::string> parts;
    std::istringstream elements(path);
    for (std::string part; std::getline(elements, part, '/');)
        if (!part.empty() && part != ".")
            parts.push_back(part);
    return parts;
}

std::string joined(const std::vector<std::string>& parts, std::size_t count)
{
    std::string path;
    for (std::size_t i = 0; i < count; ++i)
        path += "/" + parts[i];
    return path.empty() ? "/" : path;
}

// PATH as a table or a resolved path names it ("//", "/./" and a trailing "/"
// taken out), so that paths compare as text; empty when PATH is not absolute:
// "none", "swap" or a specifier stand for no place in the tree.
std::string tidied(const std::string& path)
{
    if (path.empty() || path.front() != '/')
        return {};
    const std::vector<std::string> parts = partsOf(path);
    return joined(parts, parts.size());
}

// The folder that PATH names once its links are followed; PATH tidied when
// that cannot be told.
std::string resolved(const std::string& path)
{
    const std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
    return real ? std::string(real.get()) : tidied(path);
}

void addFstab(const std::string& text, std::set<std::string>& expected)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> fields = fieldsOf(line);
        if (fields.size() < 2 || fields[0].front() == '#' || (fields.size() > 2 && fields[2] == "swap"))
            continue;
        const std::string where = tidied(unescapedOctal(fields[1]));
        if (!where.empty())
            expected.insert(where);
    }
}

int hexValue(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

// A unit's name is its mount point escaped the way systemd-escape --path does:
// "/" as "-", and "-" and other bytes as \xNN; "-" alone for "/".
std::string pathOfUnitName(const std::string& stem)
{
    if (stem == "-")
        return "/";
    std::string path = "/";
    for (std::size_t i = 0; i < stem.size(); ++i) {
        if (stem[i] == '-') {
            path += '/';
        } else if (stem[i] == '\\' && i + 3 < stem.size() && stem[i + 1] == 'x' && hexValue(stem[i + 2]) >= 0
            && hexValue(stem[i + 3]) >= 0) {
            path += static_cast<char>(hexValue(stem[i + 2]) * 16 + hexValue(stem[i + 3]));
            i += 3;
        } else {
            path += stem[i];
        }
    }
    return tidied(path);
}

// The mount point of a mount unit: its Where=, or else the one its name spells.
std::string unitWhere(const std::string& stem, const std::string& text)
{
    std::string where;
    bool inMount = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        line = trimmed(line);
        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        if (line.front() == '[') {
            inMount = line == "[Mount]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (inMount && equals != std::string::npos && trimmed(line.substr(0, equals)) == "Where")
            where = tidied(trimmed(line.substr(equals + 1)));
    }
    return where.empty() ? pathOfUnitName(stem) : where;
}

void addUnits(const std::vector<std::string>& folders, std::set<std::string>& expected)
{
    static const std::string suffix = ".mount";
    std::set<std::string> seen;
    for (const std::string& folder : folders) {
        std::vector<std::string> names;
        if (DIR* dir = opendir(folder.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name.size() > suffix.size()
                    && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                    names.push_back(name);
            }
            closedir(dir);
        }
        for (const std::string& name : names) {
            // The first folder that holds a name decides for it. A masked unit
            // (a link to /dev/null, or an empty file) expects no disk; neither
            // does one we cannot read, as far as we can tell.
            if (!seen.insert(name).second)
                continue;
            const std::optional<std::string> text = tableText(folder + "/" + name);
            if (!text || text->empty())
                continue;
            const std::string where = unitWhere(name.substr(0, name.size() - suffix.size()), *text);
            if (!where.empty())
                expected.insert(where);
        }
    }
}

std::set<std::string> listedMounts(const std::string& mountinfo)
{
    std::set<std::string> mounts;
    std::istringstream lines(tableText(mountinfo).value_or(std::string()));
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> fields = fieldsOf(line);
        if (fields.size() >= 5) {
            const std::string where = tidied(unescapedOctal(fields[4]));
            if (!where.empty())
                mounts.insert(where);
        }
    }
    return mounts;
}

// The device check stands in for a mountinfo that could not be read (no /proc
// in a chroot); mountinfo alone knows a bind mount of the same file system.
bool isMounted(const std::string& folder, const std::set<std::string>& listed)
{
    if (listed.count(folder) != 0)
        return true;
    struct stat self { };
    struct stat parent { };
    if (stat(folder.c_str(), &self) != 0 || stat((folder + "/..").c_str(), &parent) != 0)
        return false;
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

std::string parentOf(const std::string& path)
{
    const std::string parent = ParentFolder(path);
    return parent.empty() ? "/" : parent;
}

} // namespace

std::optional<std::string> missingDiskFor(const std::string& destination, const MountTables& tables)
{
    if (destination.empty())
        return std::nullopt;
    std::string absolute = destination;
    if (absolute.front() != '/') {
        const std::unique_ptr<char, decltype(&free)> here(getcwd(nullptr, 0), &free);
        if (!here)
            return std::nullopt;
        absolute = std::string(here.get()) + "/" + destination;
    }
    const std::vector<std::string> parts = partsOf(absolute);

    // Climb as making the destination would, to the nearest existing folder.
    // Only a name that is not there is known to be missing: a folder we may
    // not search, say, leaves the disk's presence unknown, and the run then
    // reports what it meets.
    std::size_t existing = parts.size();
    for (;; --existing) {
        struct stat st { };
        if (stat(joined(parts, existing).c_str(), &st) == 0) {
            if (existing == parts.size() || !S_ISDIR(st.st_mode))
                return std::nullopt;
            break;
        }
        if (errno != ENOENT || existing == 0)
            return std::nullopt;
    }

    // The nearest existing folder as the tables name it, then each folder the
    // run would make on the way to the destination.
    std::vector<std::string> onTheWay { resolved(joined(parts, existing)) };
    for (std::size_t i = existing; i < parts.size(); ++i)
        onTheWay.push_back(AddBackslash(onTheWay.back()) + parts[i]);

    std::set<std::string> expected;
    if (const std::optional<std::string> fstab = tableText(tables.fstab))
        addFstab(*fstab, expected);
    addUnits(tables.unitFolders, expected);
    const std::set<std::string> mounts = listedMounts(tables.mountinfo);

    // The disk's mount point may be the nearest existing folder, left empty,
    // or one the run would make because the disk's folder is missing too.
    for (const std::string& folder : onTheWay)
        if (expected.count(folder) != 0 && !isMounted(folder, mounts))
            return folder;

    // A desktop makes a disk's folder when it mounts the disk and removes it
    // afterwards, so the disk has no entry to look up: what is missing is the
    // first folder the run would make.
    const std::string& nearest = onTheWay.front();
    for (const std::string& root : tables.mediaRoots) {
        const std::string media = resolved(root);
        if (!media.empty() && (nearest == media || parentOf(nearest) == media) && !isMounted(nearest, mounts))
            return onTheWay[1];
    }
    return std::nullopt;
}

#include "nametwins.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The small letter of the capital CODE, or CODE.
char32_t smallLetter(char32_t code)
{
    if ((code >= 0xC0 && code <= 0xDE && code != 0xD7) // Latin-1
        || (code >= 0x391 && code <= 0x3A9) // Greek
        || (code >= 0x410 && code <= 0x42F) // Cyrillic
        || (code >= 0xFF21 && code <= 0xFF3A)) // full-width Latin
        return code + 0x20;
    if (code >= 0x400 && code <= 0x40F)
        return code + 0x50;
    return code;
}

void appendUtf8(std::string& out, char32_t code)
{
    if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (code & 0x3F));
}

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

} // namespace

std::string foldedName(const std::string& name)
{
    std::string out;
    out.reserve(name.size());
    const size_t size = name.size();
    for (size_t i = 0; i < size;) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            out += c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : static_cast<char>(c);
            ++i;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < size && isContinuation(name[i + 1])) {
            appendUtf8(out, smallLetter((char32_t(c & 0x1F) << 6) | (name[i + 1] & 0x3F)));
            i += 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < size && isContinuation(name[i + 1]) && isContinuation(name[i + 2])) {
            const char32_t code
                = (char32_t(c & 0x0F) << 12) | (char32_t(name[i + 1] & 0x3F) << 6) | (name[i + 2] & 0x3F);
            if (code >= 0x800) // a shortest form; anything else stays as its bytes
                appendUtf8(out, smallLetter(code));
            else
                out.append(name, i, 3);
            i += 3;
        } else {
            out += static_cast<char>(c);
            ++i;
        }
    }
    return out;
}

std::unordered_map<std::string, std::vector<std::string>> twinGroups(const std::vector<ListedFile>& files)
{
    std::unordered_map<std::string, std::vector<std::string>> groups;
    // Every folder is looked at and twins are rare: a sorted copy of the
    // folded names finds them without a table of all names.
    std::vector<std::string> folded;
    folded.reserve(files.size());
    for (const ListedFile& file : files)
        folded.push_back(foldedName(file.name));
    std::vector<std::string_view> sorted(folded.begin(), folded.end());
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end())
        return groups;
    for (size_t i = 0; i < files.size(); ++i)
        groups[folded[i]].push_back(files[i].name);
    for (auto group = groups.begin(); group != groups.end();)
        group = group->second.size() < 2 ? groups.erase(group) : std::next(group);
    return groups;
}

std::optional<std::string> overlappingTwin(int dirFd, const std::string& name, const std::vector<std::string>& others,
    const std::unordered_set<std::string>& written)
{
    struct stat st;
    if (fstatat(dirFd, name.c_str(), &st, 0) != 0)
        return std::nullopt;
    const int listFd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            close(listFd);
        return std::nullopt;
    }
    bool listed = false;
    std::optional<std::string> twin;
    while (const dirent* entry = readdir(dir)) {
        if (name == entry->d_name)
            listed = true;
        else if (!twin && std::find(others.begin(), others.end(), entry->d_name) != others.end())
            twin = entry->d_name;
    }
    closedir(dir);
    if (listed)
        return std::nullopt;
    if (twin)
        return twin;
    // The file system may keep the name the entry had before it was replaced.
    for (const std::string& other : others)
        if (written.count(other))
            return other;
    return std::nullopt;
}

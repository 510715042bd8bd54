#include "nametwins.h"

#include "util/utf8.h"

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

} // namespace

std::string foldedName(const std::string& name)
{
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            out += c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : static_cast<char>(c);
            ++i;
            continue;
        }
        // Bytes that start no character stay as they are.
        const Utf8Char character = decodeUtf8(name, i);
        if (character.length == 0) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        appendUtf8(out, smallLetter(character.code));
        i += character.length;
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

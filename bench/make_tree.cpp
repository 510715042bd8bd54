// make_tree: a deterministic tree of files for benchmarks and demonstrations.
//
//   make_tree ROOT FILES FOLDERS SEED [MAX_BYTES]
//
// FOLDERS folders in two levels (up to 40 at the top, the rest below them),
// FILES files spread evenly over them, each of 0..MAX_BYTES bytes (16384 by
// default) of seeded pseudo-random content, all with fixed modification times.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Random {
    std::uint64_t state;
    std::uint64_t next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

bool writeFile(const std::string& path, const std::vector<char>& data, std::size_t size, time_t mtime)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, data.data(), size) == static_cast<ssize_t>(size);
    const timespec times[2] = { { mtime, 0 }, { mtime, 0 } };
    ok = futimens(fd, times) == 0 && ok;
    return close(fd) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5 || argc > 6) {
        std::fprintf(stderr, "usage: make_tree ROOT FILES FOLDERS SEED [MAX_BYTES]\n");
        return 2;
    }
    const std::string root = argv[1];
    const long files = std::atol(argv[2]);
    const long folders = std::atol(argv[3]);
    Random random { std::strtoull(argv[4], nullptr, 10) | 1 };
    const long maxBytes = argc == 6 ? std::atol(argv[5]) : 16384;
    if (files < 0 || folders < 1 || maxBytes < 0) {
        std::fprintf(stderr, "make_tree: FILES, FOLDERS and MAX_BYTES must be positive\n");
        return 2;
    }

    if (mkdir(root.c_str(), 0755) != 0 && errno != EEXIST) {
        std::perror(root.c_str());
        return 1;
    }
    const long top = folders < 40 ? folders : 40;
    std::vector<std::string> paths;
    for (long i = 0; i < folders; ++i) {
        char name[64];
        if (i < top)
            std::snprintf(name, sizeof name, "/d%02ld", i);
        else
            std::snprintf(name, sizeof name, "/d%02ld/s%04ld", (i - top) % top, i);
        paths.push_back(root + name);
        if (mkdir(paths.back().c_str(), 0755) != 0 && errno != EEXIST) {
            std::perror(paths.back().c_str());
            return 1;
        }
    }

    static const char* const extensions[] = { "dat", "txt", "jpg", "doc" };
    std::vector<char> data(static_cast<std::size_t>(maxBytes) + 8);
    const time_t baseTime = 1700000000;
    for (long i = 0; i < files; ++i) {
        const std::size_t size = maxBytes > 0 ? random.next() % static_cast<std::uint64_t>(maxBytes + 1) : 0;
        for (std::size_t k = 0; k < size; k += 8) {
            std::uint64_t word = random.next();
            for (int b = 0; b < 8; ++b)
                data[k + b] = static_cast<char>(word >> (8 * b));
        }
        char name[64];
        std::snprintf(name, sizeof name, "/f%06ld.%s", i, extensions[i % 4]);
        if (!writeFile(paths[i % folders] + name, data, size, baseTime + i)) {
            std::perror((paths[i % folders] + name).c_str());
            return 1;
        }
    }
    return 0;
}

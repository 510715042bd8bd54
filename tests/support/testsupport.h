// Helpers shared by the tests: a temporary folder per test, file helpers, and
// running a piece of a test as an unprivileged user.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with everything
// in it (permissions restored first) when the test ends.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : "/tmp") + "/vst-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = buf.data();
    }
    ~TempDir()
    {
        nftw(
            path_.c_str(), [](const char* p, const struct stat*, int, FTW*) { return chmod(p, 0755), 0; }, 16,
            FTW_PHYS);
        nftw(
            path_.c_str(), [](const char* p, const struct stat*, int, FTW*) { return remove(p), 0; }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The full path of the system tool NAME, empty when it is not installed.
inline std::string systemTool(const std::string& name)
{
    for (const char* folder : { "/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/" }) {
        const std::string path = folder + name;
        if (access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

inline void makeDirs(const std::string& path)
{
    std::string partial;
    std::stringstream parts(path);
    std::string part;
    while (std::getline(parts, part, '/')) {
        partial += part + "/";
        mkdir(partial.c_str(), 0755);
    }
}

// Writes a file (creating its folders); with MTIME >= 0 sets its modification time.
inline void writeFile(const std::string& path, const std::string& content, long mtime = -1)
{
    auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        makeDirs(path.substr(0, slash));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (mtime >= 0) {
        const timespec times[2] = { { mtime, 0 }, { mtime, 0 } };
        utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

inline long mtimeOf(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_mtim.tv_sec) : -1;
}

inline bool exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// The names in a folder, sorted, without "." and "..".
inline std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Runs BODY in a child process as user and group 65534 (nobody) and returns
// true when BODY returned true there. Permission tests need this because the
// tests may run as root, for whom every file is readable.
inline bool asUnprivileged(const std::function<bool()>& body)
{
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0))
            _exit(3);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs PROGRAM with ARGUMENTS in a child process the way a scheduler would
// start it: no display, no session, settings under CONFIG, in FOLDER, its
// standard error written to ERRORS (when not empty). With TIMEOUT seconds
// (above 0) the program is killed (by SIGALRM) when it runs longer.
// ENVIRONMENT adds to or replaces variables of that start; standard output
// goes to OUTPUT when it is given. WHILE_RUNNING gets the program's process
// once it is started. Returns its exit status, -1 when it did not exit
// normally.
inline int runProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& folder,
    const std::string& config, const std::string& errors = std::string(), unsigned timeout = 0,
    const std::vector<std::pair<std::string, std::string>>& environment = {}, const std::string& output = std::string(),
    const std::function<void(pid_t)>& whileRunning = {})
{
    fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0 || (!errors.empty() && !freopen(errors.c_str(), "w", stderr))
            || (!output.empty() && !freopen(output.c_str(), "w", stdout)))
            _exit(100);
        // The alarm outlives execv, and its default action ends the program.
        alarm(timeout);
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR" })
            unsetenv(name);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        for (const auto& [name, value] : environment)
            setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv { const_cast<char*>(program.c_str()) };
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(101);
    }
    if (whileRunning)
        whileRunning(child);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace testsupport

// An image file mounted by the kernel's own driver (ext4 and the like) through
// a loop device for the length of a test. mount(8) -o loop sets the device to
// go with the mount, so unmounting frees it. Needs root and a free loop
// device; skipReason() says what is missing.
#pragma once

#include "testsupport.h"

#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

// Runs ARGUMENTS (the program's full path first) with its output thrown away.
// Its exit status, -1 when it could not be run or did not exit.
inline int runQuietly(const std::vector<std::string>& arguments)
{
    fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class LoopMount {
public:
    // Mounts IMAGE at MOUNT_POINT (made when missing) with the mount options OPTIONS.
    LoopMount(const std::string& image, const std::string& mountPoint, const std::string& options = {})
        : path_(mountPoint)
    {
        if (geteuid() != 0) {
            skipReason_ = "mounting a disk image needs root";
            return;
        }
        if (access("/dev/loop-control", R_OK | W_OK) != 0) {
            skipReason_ = "no loop devices (/dev/loop-control)";
            return;
        }
        const std::string mount = systemTool("mount");
        mkdir(mountPoint.c_str(), 0755);
        struct stat folder;
        if (mount.empty() || stat(mountPoint.c_str(), &folder) != 0) {
            skipReason_ = "no mount(8), or no folder to mount on";
            return;
        }
        const int status = runQuietly({ mount, "-o", options.empty() ? "loop" : "loop," + options, image, mountPoint });
        struct stat mounted;
        if (status != 0 || stat(mountPoint.c_str(), &mounted) != 0 || mounted.st_dev == folder.st_dev) {
            skipReason_ = "mount -o loop " + image + " failed (status " + std::to_string(status) + ")";
            return;
        }
        mounted_ = true;
        // The block device's kernel name is the last part of where sysfs leads its numbers.
        const std::string numbers = std::to_string(major(mounted.st_dev)) + ":" + std::to_string(minor(mounted.st_dev));
        char target[PATH_MAX];
        const ssize_t length = readlink(("/sys/dev/block/" + numbers).c_str(), target, sizeof target - 1);
        if (length > 0) {
            const std::string link(target, static_cast<size_t>(length));
            device_ = link.substr(link.rfind('/') + 1);
        }
    }
    ~LoopMount() { unmount(); }
    LoopMount(const LoopMount&) = delete;
    LoopMount& operator=(const LoopMount&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& skipReason() const { return skipReason_; }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // The block device's kernel name ("loop3"), empty when unknown.
    const std::string& device() const { return device_; }

    void unmount()
    {
        if (mounted_ && umount2(path_.c_str(), 0) != 0)
            umount2(path_.c_str(), MNT_DETACH);
        mounted_ = false;
    }

private:
    std::string path_;
    std::string device_;
    std::string skipReason_;
    bool mounted_ = false;
};

} // namespace testsupport

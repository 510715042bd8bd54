// A small FAT32 or exFAT volume, as on a USB stick, made in an image file and
// mounted through FUSE for the length of a test: FAT32 with fusefat on the
// image itself, exFAT with exfat-fuse on a loop device. The driver runs in
// the foreground as a child of the test, so that unmounting can wait until it
// has written the image out; should the test die, the driver is sent SIGTERM
// and unmounts by itself. Needs root, /dev/fuse and the Debian packages
// fusefat, dosfstools, exfat-fuse and exfatprogs; skipReason() says what is
// missing.
#pragma once

#include "testsupport.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <linux/loop.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsupport {

enum class StickFormat { Fat32, ExFat };

class FuseVolume {
public:
    // Makes an image of SIZE_MIB MiB in FOLDER and mounts it at FOLDER/stick,
    // the driver in the time zone TZ.
    FuseVolume(const std::string& folder, StickFormat format, const std::string& tz = "UTC", int sizeMib = 32)
        : format_(format)
        , image_(folder + "/stick.img")
        , mountPoint_(folder + "/stick")
    {
        if (geteuid() != 0) {
            skipReason_ = "mounting a FUSE volume needs root";
            return;
        }
        if (access("/dev/fuse", R_OK | W_OK) != 0) {
            skipReason_ = "no /dev/fuse";
            return;
        }
        const bool fat = format == StickFormat::Fat32;
        const std::string mkfs = systemTool(fat ? "mkfs.vfat" : "mkfs.exfat");
        driver_ = systemTool(fat ? "fusefat" : "mount.exfat-fuse");
        if (mkfs.empty() || driver_.empty()) {
            skipReason_ = fat ? "fusefat or mkfs.vfat missing (packages fusefat, dosfstools)"
                              : "mount.exfat-fuse or mkfs.exfat missing (packages exfat-fuse, exfatprogs)";
            return;
        }
        const int image = open(image_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const bool sized = image >= 0 && ftruncate(image, static_cast<off_t>(sizeMib) << 20) == 0;
        if (image >= 0)
            close(image);
        if (!sized || mkdir(mountPoint_.c_str(), 0755) != 0
            || run(fat ? std::vector<std::string> { mkfs, "-F", "32", image_ }
                       : std::vector<std::string> { mkfs, image_ })
                != 0) {
            skipReason_ = "cannot make the volume's image";
            return;
        }
        if (!fat && !attachLoop())
            return;
        mount(tz);
    }
    ~FuseVolume()
    {
        unmount();
        if (loopFd_ >= 0)
            close(loopFd_); // the loop device was set to go with its last user
    }
    FuseVolume(const FuseVolume&) = delete;
    FuseVolume& operator=(const FuseVolume&) = delete;

    bool mounted() const { return driverPid_ > 0; }
    const std::string& skipReason() const { return skipReason_; }
    const std::string& path() const { return mountPoint_; }
    std::string operator/(const std::string& name) const { return mountPoint_ + "/" + name; }

    // Unmounts, and waits until the driver has written everything out and ended.
    void unmount()
    {
        if (driverPid_ <= 0)
            return;
        if (umount2(mountPoint_.c_str(), 0) != 0)
            umount2(mountPoint_.c_str(), MNT_DETACH);
        int status = 0;
        waitpid(driverPid_, &status, 0);
        driverPid_ = -1;
    }

    // Mounts the volume again, the driver in the time zone TZ.
    bool remount(const std::string& tz)
    {
        unmount();
        return mount(tz);
    }

private:
    // Starts ARGUMENTS as a child, quiet, in the time zone TZ (unchanged when empty).
    static pid_t start(const std::vector<std::string>& arguments, const std::string& tz, bool tiedToTest)
    {
        fflush(nullptr);
        const pid_t child = fork();
        if (child != 0)
            return child;
        if (tiedToTest)
            prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (!tz.empty())
            setenv("TZ", tz.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }

    static int run(const std::vector<std::string>& arguments)
    {
        const pid_t child = start(arguments, {}, false);
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child)
            return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Puts the image on a free loop device that goes away with its last user.
    bool attachLoop()
    {
        const int control = open("/dev/loop-control", O_RDWR | O_CLOEXEC);
        const int image = open(image_.c_str(), O_RDWR | O_CLOEXEC);
        for (int attempt = 0; control >= 0 && image >= 0 && attempt < 20 && loopFd_ < 0; ++attempt) {
            const int number = ioctl(control, LOOP_CTL_GET_FREE);
            if (number < 0)
                break;
            device_ = "/dev/loop" + std::to_string(number);
            const int fd = open(device_.c_str(), O_RDWR | O_CLOEXEC);
            if (fd < 0)
                break;
            if (ioctl(fd, LOOP_SET_FD, image) == 0) {
                loop_info64 info {};
                info.lo_flags = LO_FLAGS_AUTOCLEAR;
                ioctl(fd, LOOP_SET_STATUS64, &info);
                loopFd_ = fd;
            } else {
                close(fd);
                if (errno != EBUSY)
                    break; // EBUSY: another process took the device first
            }
        }
        if (image >= 0)
            close(image);
        if (control >= 0)
            close(control);
        if (loopFd_ < 0)
            skipReason_ = "no loop device to be had";
        return loopFd_ >= 0;
    }

    bool mount(const std::string& tz)
    {
        const std::vector<std::string> arguments = format_ == StickFormat::Fat32
            ? std::vector<std::string> { driver_, "-f", "-o", "rw+", image_, mountPoint_ }
            : std::vector<std::string> { driver_, "-d", device_, mountPoint_ };
        driverPid_ = start(arguments, tz, true);
        // The mount is there once the mount point sits on another device than its folder.
        struct stat folder;
        if (driverPid_ < 0 || stat((mountPoint_ + "/..").c_str(), &folder) != 0) {
            driverPid_ = -1;
            skipReason_ = "cannot start " + driver_;
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            struct stat st;
            if (stat(mountPoint_.c_str(), &st) == 0 && st.st_dev != folder.st_dev)
                return true;
            int status = 0;
            const bool ended = waitpid(driverPid_, &status, WNOHANG) == driverPid_;
            if (ended || std::chrono::steady_clock::now() > deadline) {
                if (!ended) {
                    kill(driverPid_, SIGKILL);
                    waitpid(driverPid_, &status, 0);
                }
                driverPid_ = -1;
                skipReason_ = driver_ + " did not mount the volume";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    StickFormat format_;
    std::string image_;
    std::string mountPoint_;
    std::string driver_;
    std::string device_;
    std::string skipReason_;
    int loopFd_ = -1;
    pid_t driverPid_ = -1;
};

} // namespace testsupport

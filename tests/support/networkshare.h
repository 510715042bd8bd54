// A network share for the length of a test, served and mounted on this
// machine by the scripts beside this file:
//   sshfs          an sshd of our own on 127.0.0.1, mounted with sshfs
//                  (sshfs_share.sh; packages openssh-server, sshfs)
//   smb            a Samba server of our own on 127.0.0.1, mounted through
//                  libsmbclient with smbnetfs (smb_share.sh; packages samba,
//                  smbnetfs; needs root)
//   rclone-off     the sshd's sftp, mounted with rclone mount and its VFS
//   rclone-writes  cache mode off or writes (rclone_share.sh; packages
//                  openssh-server, rclone)
// All need a usable /dev/fuse. A test skips when the share is unavailable()
// and fails on any other whyNot().
//
// FOLDER/export is the server's side of the share; root() is the folder of
// the mount that shows it, where a test writes through the share. The
// scripts' own files (keys, configuration, logs) are in FOLDER as well.
#pragma once

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

enum class ShareKind { Sshfs, Smb, RcloneOff, RcloneWrites };

constexpr ShareKind allShareKinds[]
    = { ShareKind::Sshfs, ShareKind::Smb, ShareKind::RcloneOff, ShareKind::RcloneWrites };

// The kind's name, for the rows of a test table and the benchmarks' argument.
inline const char* shareKindName(ShareKind kind)
{
    switch (kind) {
    case ShareKind::Sshfs:
        return "sshfs";
    case ShareKind::Smb:
        return "smb";
    case ShareKind::RcloneOff:
        return "rclone-off";
    case ShareKind::RcloneWrites:
        return "rclone-writes";
    }
    return "?";
}

// The name of a test table's row for INFO.param, a kind: "rclone_off".
template <class ParamInfo> std::string shareKindRow(const ParamInfo& info)
{
    std::string name = shareKindName(info.param);
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// PID and every process below it.
inline std::set<pid_t> processTree(pid_t pid)
{
    std::set<pid_t> tree { pid };
    for (bool grew = true; grew;) {
        grew = false;
        DIR* proc = opendir("/proc");
        while (const dirent* entry = proc ? readdir(proc) : nullptr) {
            std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
            std::string line;
            if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
                continue;
            // "pid (name) state ppid ...": the name may hold blanks.
            std::istringstream rest(line.substr(line.rfind(')') + 2));
            char state;
            pid_t parent = 0;
            rest >> state >> parent;
            const pid_t child = std::atoi(entry->d_name);
            if (tree.count(parent) && tree.insert(child).second)
                grew = true;
        }
        if (proc)
            closedir(proc);
    }
    return tree;
}

class NetworkShare {
public:
    // Serves FOLDER/export and mounts it (FOLDER made when missing). OPTIONS
    // adds mount options: sshfs's ("-o cache=no") for sshfs, rclone mount's
    // ("--dir-cache-time 3s") for rclone; smb takes none.
    NetworkShare(ShareKind kind, const std::string& folder, const std::string& options = std::string())
        : kind_(kind)
        , folder_(folder)
    {
        mkdir(folder.c_str(), 0755);
        const std::string errors = folder + "/start-errors.txt";
        std::string command = "start '" + folder_ + "'";
        switch (kind) {
        case ShareKind::Sshfs:
            command = "SSHFS_OPTS='" + options + "' '" + script() + "' " + command;
            break;
        case ShareKind::Smb:
            command = "'" + script() + "' " + command;
            break;
        case ShareKind::RcloneOff:
        case ShareKind::RcloneWrites:
            command = "RCLONE_OPTS='" + options + "' '" + script() + "' " + command
                + (kind == ShareKind::RcloneOff ? " off" : " writes");
            break;
        }
        // A start that failed for another reason than want of the tools is
        // tried once more: servers of tests side by side may take the same
        // free port between its choice and its use.
        int status = run(command + " >/dev/null 2>'" + errors + "'");
        if (status != 0 && status != 77)
            status = run(command + " >/dev/null 2>'" + errors + "'");
        std::string reason = firstLine(errors);
        if (status == 0) {
            root_ = firstLine(folder_ + "/root");
            if (!root_.empty())
                return;
            reason = "no " + folder_ + "/root";
        }
        unavailable_ = status == 77;
        whyNot_ = unavailable_ ? reason : scriptName() + " start failed (" + std::to_string(status) + "): " + reason;
    }
    ~NetworkShare() { run("'" + script() + "' stop '" + folder_ + "' >/dev/null 2>&1"); }
    NetworkShare(const NetworkShare&) = delete;
    NetworkShare& operator=(const NetworkShare&) = delete;

    ShareKind kind() const { return kind_; }
    const char* name() const { return shareKindName(kind_); }
    // Why the share is not mounted; empty when it is.
    const std::string& whyNot() const { return whyNot_; }
    // Whether that is for want of a server, a FUSE driver or FUSE itself
    // here rather than a fault.
    bool unavailable() const { return unavailable_; }
    // Where the FUSE file system is mounted.
    std::string mountPoint() const { return folder_ + "/mnt"; }
    // The folder of the mount that shows exported(): FOLDER/mnt for sshfs and
    // rclone; for smb, FOLDER/mnt/127.0.0.1:PORT/share, smbnetfs showing each
    // server and each of its shares as a folder.
    const std::string& root() const { return root_; }
    // The exported folder as the server sees it. With rclone-writes a file
    // written through the mount reaches it only some seconds after its close:
    // see sent().
    std::string exported() const { return folder_ + "/export"; }
    // Waits until the FUSE driver has sent the server every file written
    // through the mount and closed; false when it has not within SECONDS.
    // Only rclone-writes keeps them back (in its cache, marked dirty until
    // sent); the others send them before close() returns.
    bool sent(int seconds = 60) const
    {
        if (kind_ != ShareKind::RcloneWrites)
            return true;
        const std::string pending = "grep -rqsF '\"Dirty\": true' '" + folder_ + "/rclone-cache/vfsMeta'";
        for (int clean = 0, tries = 0; clean < 2; ++tries) {
            if (tries >= seconds * 5)
                return false;
            clean = run(pending) == 0 ? 0 : clean + 1;
            usleep(200 * 1000);
        }
        return true;
    }

    // Waits until the server holds no file of exported() open; false when
    // one stays open for SECONDS. A killed client's files are closed on the
    // server only some moments after its death: the FUSE driver is told of
    // the close after the process is gone.
    bool closed(int seconds = 30) const
    {
        const std::string below = exported() + "/";
        if (serverPid() <= 0)
            return true;
        for (int tries = 0; tries < seconds * 50; ++tries) {
            bool open = false;
            for (pid_t pid : processTree(serverPid())) {
                const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
                DIR* dir = opendir(fds.c_str());
                while (const dirent* entry = dir && !open ? readdir(dir) : nullptr) {
                    char target[4096];
                    const ssize_t length = readlink((fds + "/" + entry->d_name).c_str(), target, sizeof target - 1);
                    open = length > 0 && std::string(target, length).rfind(below, 0) == 0;
                }
                if (dir)
                    closedir(dir);
            }
            if (!open)
                return true;
            usleep(20 * 1000);
        }
        return false;
    }

    // The server's main process: sshd for sshfs and rclone, smbd for smb.
    pid_t serverPid() const
    {
        pid_t pid = 0;
        std::ifstream(folder_ + (kind_ == ShareKind::Smb ? "/smbd.pid" : "/sshd.pid")) >> pid;
        return pid;
    }
    // Makes the server stop answering: its main process and every process it
    // started (the sessions with their sftp-server, smbd's connections) are
    // stopped, so neither a connection it has nor a new one gets an answer.
    // A call through the mount that the FUSE driver has passed on then waits
    // until resume(), even when its thread is killed. The destructor resumes
    // a paused server before it unmounts.
    void pause() const { signalServer(SIGSTOP); }
    void resume() const { signalServer(SIGCONT); }
    // Takes the mount away at once, as fusermount3 -u -z does, while what is
    // open on it stays open; true when fusermount3 did so.
    bool unmountLazily() const { return run("fusermount3 -u -z '" + mountPoint() + "' >/dev/null 2>&1") == 0; }

private:
    std::string scriptName() const
    {
        switch (kind_) {
        case ShareKind::Sshfs:
            return "sshfs_share.sh";
        case ShareKind::Smb:
            return "smb_share.sh";
        case ShareKind::RcloneOff:
        case ShareKind::RcloneWrites:
            break;
        }
        return "rclone_share.sh";
    }
    std::string script() const
    {
        const std::string self = __FILE__;
        return self.substr(0, self.rfind('/') + 1) + scriptName();
    }
    static int run(const std::string& command)
    {
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string firstLine(const std::string& path)
    {
        std::string line;
        std::ifstream file(path);
        std::getline(file, line);
        return line;
    }
    void signalServer(int signal) const
    {
        const pid_t server = serverPid();
        if (server <= 0)
            return;
        kill(server, signal); // first, so that it starts no process the loop below misses
        for (pid_t pid : processTree(server))
            kill(pid, signal);
    }

    ShareKind kind_;
    std::string folder_;
    std::string root_;
    std::string whyNot_;
    bool unavailable_ = false;
};

} // namespace testsupport

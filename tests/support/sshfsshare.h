// A network share for the length of a test: tests/support/sshfs_share.sh
// starts an sshd of its own on 127.0.0.1 and mounts its export with sshfs.
// Needs the Debian packages openssh-server and sshfs and a usable /dev/fuse;
// a test skips when the share is unavailable() and fails on any other whyNot().
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace testsupport {

class SshfsShare {
public:
    // Mounts FOLDER/export at FOLDER/mnt (FOLDER made when missing); SSHFS_OPTIONS adds mount options.
    explicit SshfsShare(const std::string& folder, const std::string& sshfsOptions = std::string())
        : folder_(folder)
    {
        mkdir(folder.c_str(), 0755);
        const std::string errors = folder + "/start-errors.txt";
        const int status = run("start", "SSHFS_OPTS='" + sshfsOptions + "' ", errors);
        if (status == 0)
            return;
        std::string reason;
        if (FILE* file = std::fopen(errors.c_str(), "re")) {
            char line[512] = {};
            if (std::fgets(line, sizeof line, file))
                reason = line;
            std::fclose(file);
        }
        while (!reason.empty() && reason.back() == '\n')
            reason.pop_back();
        unavailable_ = status == 77;
        whyNot_ = unavailable_ ? reason : "sshfs_share.sh start failed (" + std::to_string(status) + "): " + reason;
    }
    ~SshfsShare() { run("stop", "", "/dev/null"); }
    SshfsShare(const SshfsShare&) = delete;
    SshfsShare& operator=(const SshfsShare&) = delete;

    // Why the share is not mounted; empty when it is.
    const std::string& whyNot() const { return whyNot_; }
    // Whether that is for want of sshd, sshfs or FUSE here rather than a fault.
    bool unavailable() const { return unavailable_; }
    std::string mountPoint() const { return folder_ + "/mnt"; }
    // The exported folder as the server sees it.
    std::string exported() const { return folder_ + "/export"; }

private:
    int run(const std::string& action, const std::string& environment, const std::string& errors) const
    {
        const std::string self = __FILE__;
        const std::string script = self.substr(0, self.rfind('/') + 1) + "sshfs_share.sh";
        const std::string command
            = environment + "'" + script + "' " + action + " '" + folder_ + "' >/dev/null 2>'" + errors + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string folder_;
    std::string whyNot_;
    bool unavailable_ = false;
};

} // namespace testsupport

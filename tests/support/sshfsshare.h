// A network share for the length of a test: tests/support/sshfs_share.sh
// starts an sshd of its own on 127.0.0.1 and mounts its export with sshfs.
// Needs the Debian packages openssh-server and sshfs and a usable /dev/fuse;
// a test skips when the share is unavailable() and fails on any other whyNot().
// The other kinds of share, and pausing the server, are in networkshare.h.
#pragma once

#include "networkshare.h"

namespace testsupport {

class SshfsShare : public NetworkShare {
public:
    // Mounts FOLDER/export at FOLDER/mnt (FOLDER made when missing); SSHFS_OPTIONS adds mount options.
    explicit SshfsShare(const std::string& folder, const std::string& sshfsOptions = std::string())
        : NetworkShare(ShareKind::Sshfs, folder, sshfsOptions)
    {
    }
};

} // namespace testsupport

// Whether a destination that does not exist yet belongs on a disk that is not
// there. A USB disk or a network share that is not mounted when a nightly run
// starts leaves an empty folder (or none) where it belongs; making the
// destination there would fill the root file system instead of the disk.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Where the system tells which disks are expected and which are mounted.
// Tests point these at files and folders of their own.
struct MountTables {
    std::string fstab = "/etc/fstab";
    std::string mountinfo = "/proc/self/mountinfo";
    // systemd's order of precedence: a unit here hides one of the same name in
    // a later folder.
    std::vector<std::string> unitFolders
        = { "/etc/systemd/system", "/run/systemd/system", "/usr/lib/systemd/system", "/lib/systemd/system" };
    // Where desktops mount removable disks: a folder per user (or one per disk
    // in older set-ups) directly below, the disks below that.
    std::vector<std::string> mediaRoots = { "/media", "/run/media" };
};

// For a DESTINATION that does not exist: the folder where a disk is expected on
// its way but none is mounted, so that making the destination would put it on
// the file system underneath. That is a mount point of fstab or of a systemd
// mount unit, at or below the nearest existing folder and not mounted now; or,
// when the nearest existing folder is a media root or a folder directly in one
// and nothing is mounted on it, the folder the run would make first. Nothing
// when the destination exists, when it cannot be told, or when nothing is
// expected on its way. A relative DESTINATION is taken from the current folder.
std::optional<std::string> missingDiskFor(const std::string& destination, const MountTables& tables = MountTables());

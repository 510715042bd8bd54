// The destination folders of a run, held open. The run opens the top folder
// once, by its path, and every folder below it relative to its parent's
// descriptor, without following links; so a link swapped in for a folder
// above, or a share unmounted from under the path, cannot send a write
// anywhere else.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// A folder descriptor (O_PATH), closing itself; -1 when there is none.
class FolderFd {
public:
    FolderFd() = default;
    explicit FolderFd(int fd)
        : fd_(fd)
    {
    }
    // The folder at PATH, following links (the user's own choice of folder).
    static FolderFd open(const std::string& path);
    ~FolderFd() { reset(); }
    FolderFd(FolderFd&& other) noexcept
        : fd_(other.fd_)
    {
        other.fd_ = -1;
    }
    FolderFd& operator=(FolderFd&& other) noexcept;
    FolderFd(const FolderFd&) = delete;
    FolderFd& operator=(const FolderFd&) = delete;

    int get() const { return fd_; }
    // A second descriptor of the same folder.
    FolderFd dup() const;
    void reset();

private:
    int fd_ = -1;
};

// A destination folder opened below its parent.
struct OpenedFolder {
    FolderFd fd;
    int error = 0; // why it could not be opened: ENOENT when there is nothing of that name
    // The owner of a link that stands in the folder's place and belongs to
    // someone else, which the run does not follow.
    std::optional<uid_t> foreignLinkOwner;
};

// Opens the folder NAME in PARENT_FD. A link there is followed only when it
// belongs to EUID or to root, who could write where it leads anyway: a link
// planted by someone else could send the run's writes anywhere the user
// running it may write (root: everywhere). This is the kernel's
// protected_symlinks rule without its exception for the owner of the folder
// holding the link, who may be the one who planted it. The link is read
// through a descriptor of its own, so it cannot be swapped between the check
// of its owner and its use.
OpenedFolder openDestinationFolder(int parentFd, const std::string& name, uid_t euid);

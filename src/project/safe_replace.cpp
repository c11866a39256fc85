#include "project/safe_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace warpkit {
namespace {

constexpr int kMaxLinkDepth = 40;  // as the kernel allows before ELOOP

std::string with_errno(const char* what, int err) {
    return std::string(what) + ": " + std::strerror(err);
}

std::string creating_reason(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return with_errno("the folder does not exist", err);
        case EACCES:
        case EPERM:
        case EROFS:
            return with_errno("the folder is not writable", err);
        case ENOSPC:
        case EDQUOT:
            return with_errno("disk full", err);
        default:
            return with_errno("the file could not be created", err);
    }
}

std::string writing_reason(int err) {
    if (err == ENOSPC || err == EDQUOT) return with_errno("disk full", err);
    return with_errno("the file could not be written", err);
}

std::string replacing_reason(int err) {
    switch (err) {
        case EISDIR:
            return with_errno("the name belongs to a folder", err);
        case EACCES:
        case EPERM:
        case EROFS:
            return with_errno("the folder is not writable", err);
        case ENOSPC:
        case EDQUOT:
            return with_errno("disk full", err);
        default:
            return with_errno("the file could not be replaced", err);
    }
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file a save should replace. Writing in place would go through symbolic links, so the
// replacement does too; a dangling link names the file to create.
std::string follow_links(std::string path) {
    for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t length = readlink(path.c_str(), target.data(), PATH_MAX);
        if (length <= 0) return path;
        std::string next(target.data(), static_cast<size_t>(length));
        path = next[0] == '/' ? next : folder_of(path) + "/" + next;
    }
    return path;
}

mode_t current_umask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// Permissions and owner are not the user's data: a file left at 0600, or owned by whoever
// saved it, still holds the save, so failures here are let pass.
void give_mode_and_owner(int fd, mode_t mode, const struct stat* old) {
    int result = fchmod(fd, mode);
    if (old != nullptr && (old->st_uid != geteuid() || old->st_gid != getegid())) {
        result = fchown(fd, old->st_uid, old->st_gid);
    }
    static_cast<void>(result);
}

FileOutcome failed(std::string reason) {
    return {false, std::move(reason)};
}

// Every byte or the reason why not; a short write is continued, an interrupted one retried.
FileOutcome write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed(writing_reason(errno));
        if (n == 0) return failed(writing_reason(EIO));
        done += static_cast<size_t>(n);
    }
    return {true, {}};
}

// Writes `bytes` to a new temporary file in `folder`, with `mode` (and the owner of `old`, when
// given), forced to disk and closed. On success `temp` names it; on failure nothing is left.
FileOutcome write_temporary(const std::string& folder, const std::string& bytes, mode_t mode,
                            const struct stat* old, std::string& temp) {
    temp = folder + "/.warpkit-save-XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return failed(creating_reason(errno));
    FileOutcome outcome = write_all(fd, bytes);
    if (outcome.ok) give_mode_and_owner(fd, mode, old);
    if (outcome.ok && fsync(fd) != 0) outcome = failed(writing_reason(errno));
    if (close(fd) != 0 && errno != EINTR && outcome.ok) outcome = failed(writing_reason(errno));
    if (!outcome.ok) unlink(temp.c_str());
    return outcome;
}

// Makes a rename or link in `folder` durable; the new contents are already safe if this fails.
void sync_folder(const std::string& folder) {
    const int folder_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_fd >= 0) {
        fsync(folder_fd);
        close(folder_fd);
    }
}

}  // namespace

FileOutcome replace_file_contents(const std::string& path, const std::string& bytes) {
    const std::string destination = follow_links(path);
    const std::string folder = folder_of(destination);

    // the mode and owner to give the new file
    struct stat old;
    const bool replacing = stat(destination.c_str(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode)) return failed(replacing_reason(EISDIR));
    const mode_t mode = replacing ? (old.st_mode & 0777) : (0666 & ~current_umask());

    // a temporary file beside the destination, so the rename cannot cross file systems; the old
    // file is not touched until it is complete
    std::string temp;
    FileOutcome outcome = write_temporary(folder, bytes, mode, replacing ? &old : nullptr, temp);
    if (!outcome.ok) return outcome;
    if (rename(temp.c_str(), destination.c_str()) != 0) {
        outcome = failed(replacing_reason(errno));
        unlink(temp.c_str());
        return outcome;
    }
    sync_folder(folder);
    return outcome;
}

FileOutcome write_new_file(const std::string& path, const std::string& bytes) {
    const std::string folder = folder_of(path);
    const FileOutcome exists = failed(with_errno("the file already exists", EEXIST));
    struct stat existing;
    if (lstat(path.c_str(), &existing) == 0) return exists;

    std::string temp;
    FileOutcome outcome = write_temporary(folder, bytes, 0666 & ~current_umask(), nullptr, temp);
    if (!outcome.ok) return outcome;
    // Only a rename that refuses to replace, or a hard link, puts the whole file in place with no
    // moment at which a file of that name made meanwhile by someone else could be lost.
    int err = 0;
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
        err = errno;
        if (err == EINVAL || err == ENOSYS || err == ENOTSUP) {
            err = link(temp.c_str(), path.c_str()) == 0 ? 0 : errno;
        }
        unlink(temp.c_str());
    }
    if (err == EPERM || err == ENOTSUP) {
        // A file system with neither: an exclusive create, removed again if the write fails.
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) return errno == EEXIST ? exists : failed(creating_reason(errno));
        outcome = write_all(fd, bytes);
        if (outcome.ok && fsync(fd) != 0) outcome = failed(writing_reason(errno));
        if (close(fd) != 0 && errno != EINTR && outcome.ok) outcome = failed(writing_reason(errno));
        if (!outcome.ok) unlink(path.c_str());
        err = 0;
    }
    if (err == EEXIST) return exists;
    if (err != 0) return failed(creating_reason(err));
    if (outcome.ok) sync_folder(folder);
    return outcome;
}

}  // namespace warpkit

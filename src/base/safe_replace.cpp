#include "base/safe_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/display_text.h"
#include "base/file_paths.h"

namespace warpkit {
namespace {

constexpr int kMaxLinkDepth = 40;  // as the kernel allows before ELOOP

// The step of a save that failed; it words a cause that is not one of the common ones.
enum class Step { kCreate, kWrite, kReplace };

// What failed, in both languages. The common causes have words of their own; any other adds
// the system's text to the step that failed. `folder` is where the file was to go.
BilingualText failure_reason(Step step, int err, const std::string& folder) {
    const std::string shown_folder = display_text(folder);
    struct stat there;
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            // /proc answers "no such entry" for a file it will not create in a folder that is
            // there; only a folder really missing is called missing.
            if (stat(folder.c_str(), &there) == 0 && S_ISDIR(there.st_mode)) break;
            return format_both({"フォルダ %s がありません", "the folder %s does not exist"},
                               shown_folder);
        case EACCES:
        case EPERM:
            if (step == Step::kReplace) {
                return {"ファイルを置き換える権限がありません",
                        "there is no permission to replace the file"};
            }
            return format_both(
                {"フォルダ %s に書き込む権限がありません", "the folder %s is not writable"},
                shown_folder);
        case EROFS:
            return {"ファイルシステムが読み取り専用です", "the file system is read-only"};
        case ENOSPC:
        case EDQUOT:
            return {"ディスクがいっぱいです", "disk full"};
        case EISDIR:
            return {"その名前のフォルダがあります", "the name belongs to a folder"};
        case ENAMETOOLONG:
            return {"ファイル名が長すぎます", "the name is too long"};
        default:
            break;
    }
    const char* system_text = std::strerror(err);
    switch (step) {
        case Step::kCreate:
            return format_both({"フォルダ %s にファイルを作成できません：%s",
                                "the file could not be created in the folder %s: %s"},
                               shown_folder, system_text);
        case Step::kWrite:
            return format_both(
                {"ファイルを書き込めません：%s", "the file could not be written: %s"}, system_text);
        case Step::kReplace:
            break;
    }
    return format_both({"ファイルを置き換えられません：%s", "the file could not be replaced: %s"},
                       system_text);
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

FileOutcome failed(Step step, int err, const std::string& folder) {
    return {false, failure_reason(step, err, folder)};
}

// Every byte or the errno why not; a short write is continued, an interrupted one retried.
int write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

ContentsWriter writer_of(const std::string& bytes) {
    return [&bytes](int fd) { return write_all(fd, bytes); };
}

// Writes the contents to a new temporary file in `folder`, with `mode` (and the owner of `old`,
// when given), forced to disk and closed. On success `temp` names it; on failure nothing is left.
FileOutcome write_temporary(const std::string& folder, const ContentsWriter& contents, mode_t mode,
                            const struct stat* old, std::string& temp) {
    temp = folder + "/" + kTemporaryPrefix + "XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return failed(Step::kCreate, errno, folder);
    int err = contents(fd);
    if (err == 0) give_mode_and_owner(fd, mode, old);
    if (err == 0 && fsync(fd) != 0) err = errno;
    if (close(fd) != 0 && errno != EINTR && err == 0) err = errno;
    if (err == 0) return {true, {}};
    unlink(temp.c_str());
    return failed(Step::kWrite, err, folder);
}

// Makes a rename or link in `folder` durable; the new contents are already safe if this fails.
void sync_folder(const std::string& folder) {
    const int folder_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_fd >= 0) {
        fsync(folder_fd);
        close(folder_fd);
    }
}

// `new_file_mode` < 0: a new file gets 0666 less the umask.
FileOutcome replace_contents(const std::string& path, const ContentsWriter& contents,
                             int new_file_mode) {
    const std::string destination = follow_links(path);
    const std::string folder = folder_of(destination);

    // the mode and owner to give the new file
    struct stat old;
    const bool replacing = stat(destination.c_str(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode)) return failed(Step::kReplace, EISDIR, folder);
    const mode_t mode = replacing            ? (old.st_mode & 0777)
                        : new_file_mode >= 0 ? static_cast<mode_t>(new_file_mode)
                                             : (0666 & ~current_umask());

    // a temporary file beside the destination, so the rename cannot cross file systems; the old
    // file is not touched until it is complete
    std::string temp;
    const FileOutcome written =
        write_temporary(folder, contents, mode, replacing ? &old : nullptr, temp);
    if (!written.ok) return written;
    if (rename(temp.c_str(), destination.c_str()) != 0) {
        const int err = errno;
        unlink(temp.c_str());
        return failed(Step::kReplace, err, folder);
    }
    sync_folder(folder);
    return {true, {}};
}

}  // namespace

FileOutcome replace_file_contents(const std::string& path, const std::string& bytes) {
    return replace_contents(path, writer_of(bytes), -1);
}

FileOutcome replace_file_contents(const std::string& path, const ContentsWriter& contents) {
    return replace_contents(path, contents, -1);
}

FileOutcome replace_file_contents(const std::string& path, const std::string& bytes,
                                  unsigned new_file_mode) {
    return replace_contents(path, writer_of(bytes), static_cast<int>(new_file_mode & 0777));
}

FileOutcome write_new_file(const std::string& path, const std::string& bytes) {
    return write_new_file(path, writer_of(bytes));
}

FileOutcome write_new_file(const std::string& path, const ContentsWriter& contents) {
    const std::string folder = folder_of(path);
    const FileOutcome exists = {false,
                                {"同じ名前のファイルがすでにあります", "the file already exists"}};
    struct stat existing;
    if (lstat(path.c_str(), &existing) == 0) return exists;

    std::string temp;
    const FileOutcome written =
        write_temporary(folder, contents, 0666 & ~current_umask(), nullptr, temp);
    if (!written.ok) return written;
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
        if (fd < 0) return errno == EEXIST ? exists : failed(Step::kCreate, errno, folder);
        err = contents(fd);
        if (err == 0 && fsync(fd) != 0) err = errno;
        if (close(fd) != 0 && errno != EINTR && err == 0) err = errno;
        if (err != 0) {
            unlink(path.c_str());
            return failed(Step::kWrite, err, folder);
        }
    }
    if (err == EEXIST) return exists;
    if (err != 0) return failed(Step::kCreate, err, folder);
    sync_folder(folder);
    return {true, {}};
}

}  // namespace warpkit

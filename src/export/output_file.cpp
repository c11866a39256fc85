#include "export/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/file_paths.h"

namespace warpkit::exporting {

namespace {

// Stale temporary files of an export cut short may hold a name; the next one is tried.
constexpr int kTemporaryNames = 100;

FileOutcome failed(std::string reason) {
    FileOutcome outcome;
    outcome.reason.en = std::move(reason);  // the tool speaks English only
    return outcome;
}

}  // namespace

std::string output_path_problem(const std::string& path) {
    struct stat there;
    if (lstat(path.c_str(), &there) != 0) return std::string();
    if (S_ISLNK(there.st_mode)) {
        return "it is a symbolic link, and no output is written through one";
    }
    if (S_ISDIR(there.st_mode)) return "the name belongs to a folder";
    return std::string();
}

FileOutcome write_output_file(const std::string& path, const std::string& bytes) {
    const std::string problem = output_path_problem(path);
    if (!problem.empty()) return failed(problem);
    // write_new_file never replaces anything, so the bytes land whole under a name no one else
    // holds; only then does the rename replace what is at `path`.
    const std::string stem = folder_of(path) + "/" + kTemporaryPrefix + "export-" +
                             std::to_string(static_cast<long>(getpid())) + "-";
    static int next_name = 0;
    for (int attempt = 0; attempt < kTemporaryNames; ++attempt) {
        const std::string temporary = stem + std::to_string(next_name++);
        struct stat taken;
        if (lstat(temporary.c_str(), &taken) == 0) continue;
        FileOutcome written = write_new_file(temporary, bytes);
        if (!written.ok) return written;
        if (std::rename(temporary.c_str(), path.c_str()) != 0) {
            const int error = errno;
            unlink(temporary.c_str());
            return failed(error == EISDIR ? "the name belongs to a folder" : std::strerror(error));
        }
        return written;
    }
    return failed("no temporary file could be made beside it: " + std::to_string(kTemporaryNames) +
                  " names are taken by files left from earlier exports");
}

}  // namespace warpkit::exporting

#include "import/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "model/qxm_reader.h"

namespace warpkit {

namespace {

std::string kind_problem(const std::string& name, const struct stat& info, int64_t max_bytes) {
    if (!S_ISREG(info.st_mode)) return name + " is not a regular file";
    if (info.st_size > max_bytes) {
        return name + " is " + std::to_string(info.st_size) + " bytes, more than the " +
               std::to_string(max_bytes) + " an import reads";
    }
    return {};
}

}  // namespace

std::string regular_file_problem(const std::string& path, int64_t max_bytes) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return display_text(path) + " cannot be opened: " + std::strerror(errno);
    return kind_problem(display_text(path), info, max_bytes);
}

std::string read_file_bytes(const std::string& path, int64_t max_bytes, std::string& out) {
    out.clear();
    const std::string name = display_text(path);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return name + " cannot be opened: " + std::strerror(errno);
    struct stat info;
    std::string problem = fstat(fd, &info) != 0 ? name + " cannot be read: " + std::strerror(errno)
                                                : kind_problem(name, info, max_bytes);
    if (problem.empty()) {
        out.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = read(fd, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                problem =
                    name + " cannot be read: " + (n < 0 ? std::strerror(errno) : "it ended early");
                break;
            }
            done += static_cast<size_t>(n);
        }
    }
    close(fd);
    if (!problem.empty()) out.clear();
    return problem;
}

std::string folder_part(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return std::string();
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string stem_part(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

}  // namespace warpkit

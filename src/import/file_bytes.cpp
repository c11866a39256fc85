#include "import/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/display_text.h"
#include "model/qxm_reader.h"

namespace warpkit {

namespace {

BilingualText kind_problem(const std::string& name, const struct stat& info, int64_t max_bytes) {
    if (!S_ISREG(info.st_mode)) {
        return format_both({"%s は通常のファイルではありません", "%s is not a regular file"}, name);
    }
    if (info.st_size > max_bytes) {
        return format_both({"%s は %lld バイトあり、読み込める %lld バイトを超えています",
                            "%s is %lld bytes, more than the %lld an import reads"},
                           name, static_cast<long long>(info.st_size),
                           static_cast<long long>(max_bytes));
    }
    return {};
}

BilingualText cannot_open(const std::string& name, int err) {
    return format_both({"%s を開けません：%s", "%s cannot be opened: %s"}, name,
                       std::strerror(err));
}

BilingualText cannot_read(const std::string& name, const BilingualText& why) {
    return format_both({"%s を読めません：%s", "%s cannot be read: %s"}, name, why);
}

}  // namespace

BilingualText regular_file_problem(const std::string& path, int64_t max_bytes) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return cannot_open(display_text(path), errno);
    return kind_problem(display_text(path), info, max_bytes);
}

BilingualText read_file_bytes(const std::string& path, int64_t max_bytes, std::string& out) {
    out.clear();
    const std::string name = display_text(path);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return cannot_open(name, errno);
    struct stat info;
    BilingualText problem = fstat(fd, &info) != 0
                                ? cannot_read(name, same_in_both(std::strerror(errno)))
                                : kind_problem(name, info, max_bytes);
    if (problem.empty()) {
        out.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = read(fd, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                problem = cannot_read(
                    name, n < 0 ? same_in_both(std::strerror(errno))
                                : BilingualText{"途中で終わっています", "it ended early"});
                break;
            }
            done += static_cast<size_t>(n);
        }
    }
    close(fd);
    if (!problem.empty()) out.clear();
    return problem;
}

std::string stem_part(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

}  // namespace warpkit

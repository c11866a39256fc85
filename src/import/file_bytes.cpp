#include "import/file_bytes.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/display_text.h"
#include "base/input_file.h"
#include "model/qxm_reader.h"

namespace warpkit {

namespace {

BilingualText size_problem(const std::string& name, const InputFile& input, int64_t max_bytes) {
    if (!input.is_open()) return input.problem();
    if (input.size() > max_bytes) {
        return format_both({"%s は %lld バイトあり、読み込める %lld バイトを超えています",
                            "%s is %lld bytes, more than the %lld an import reads"},
                           name, static_cast<long long>(input.size()),
                           static_cast<long long>(max_bytes));
    }
    return {};
}

BilingualText cannot_read(const std::string& name, const BilingualText& why) {
    return format_both({"%s を読めません：%s", "%s cannot be read: %s"}, name, why);
}

}  // namespace

BilingualText regular_file_problem(const std::string& path, int64_t max_bytes) {
    return size_problem(display_text(path), InputFile::open(path), max_bytes);
}

BilingualText read_file_bytes(const std::string& path, int64_t max_bytes, std::string& out) {
    out.clear();
    const std::string name = display_text(path);
    const InputFile input = InputFile::open(path);
    const int fd = input.is_open() ? fileno(input.get()) : -1;
    BilingualText problem = size_problem(name, input, max_bytes);
    if (problem.empty()) {
        out.resize(static_cast<size_t>(input.size()));
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

#include "base/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/display_text.h"

namespace warpkit {

namespace {

BilingualText system_cause(int err) {
    return same_in_both(std::strerror(err));
}

}  // namespace

InputFile InputFile::open(const std::string& path) {
    InputFile input;
    const std::string name = display_text(path);
    const auto failed = [&](int err) {
        input.error_ = err;
        input.cause_ = system_cause(err);
        input.problem_ =
            format_both({"%s を開けません：%s", "%s cannot be opened: %s"}, name, input.cause_);
        return std::move(input);
    };
    const auto not_regular = [&](const struct stat& info) {
        input.not_regular_ = true;
        input.error_ = S_ISDIR(info.st_mode) ? EISDIR : 0;
        input.cause_ = input.error_ != 0
                           ? system_cause(input.error_)
                           : BilingualText{"通常のファイルではありません", "not a regular file"};
        input.problem_ =
            format_both({"%s は通常のファイルではありません", "%s is not a regular file"}, name);
        return std::move(input);
    };

    // Looked at before opening, so that a device is never opened at all: opening some has an
    // effect of its own (a tape rewinds, a modem line is taken).
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return failed(errno);
    if (!S_ISREG(info.st_mode)) return not_regular(info);
    // The path may be swapped for a pipe between the look and the open: without O_NONBLOCK the
    // open would then wait for a writer that never comes.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return failed(errno);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int err = errno;
        close(fd);
        return S_ISREG(info.st_mode) ? failed(err) : not_regular(info);
    }
    const int flags = fcntl(fd, F_GETFL);
    std::FILE* file =
        flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ? nullptr : fdopen(fd, "rb");
    if (file == nullptr) {
        const int err = errno;
        close(fd);
        return failed(err);
    }
    input.file_.reset(file);
    input.size_ = static_cast<int64_t>(info.st_size);
    return input;
}

int read_rest(const InputFile& input, int64_t max_bytes, std::string& out) {
    out.clear();
    if (!input.is_open()) return EBADF;
    // One byte past the limit tells a file that has grown past it from one that ends there.
    const int64_t wanted = std::min(max_bytes, input.size()) + 1;
    out.reserve(static_cast<size_t>(wanted));
    char buffer[65536];
    while (true) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, input.get());
        out.append(buffer, n);
        if (static_cast<int64_t>(out.size()) > max_bytes) {
            out.clear();
            return EFBIG;
        }
        if (n < sizeof buffer) break;
    }
    if (std::ferror(input.get())) {
        const int err = errno != 0 ? errno : EIO;
        out.clear();
        return err;
    }
    return 0;
}

}  // namespace warpkit

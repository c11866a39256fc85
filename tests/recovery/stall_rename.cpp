// Preloaded into the program under test, this holds one chosen rename() still, so that a test
// can kill the program in the middle of a recovery write: the new text complete in its
// temporary file, the old file not yet replaced. The environment chooses it: the
// STALL_RENAME_AT-th rename into STALL_RENAME_FOLDER whose new name ends in
// STALL_RENAME_SUFFIX stalls, after making the file STALL_RENAME_MARKER for the test to see.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string_view>

namespace {

bool chosen(std::string_view to) {
    static std::atomic<int> seen{0};
    const char* folder = std::getenv("STALL_RENAME_FOLDER");
    const char* suffix = std::getenv("STALL_RENAME_SUFFIX");
    const char* at = std::getenv("STALL_RENAME_AT");
    if (folder == nullptr || suffix == nullptr || at == nullptr) return false;
    const std::string_view ending(suffix);
    if (to.substr(0, std::string_view(folder).size()) != folder || to.size() < ending.size() ||
        to.substr(to.size() - ending.size()) != ending) {
        return false;
    }
    return ++seen == std::atoi(at);
}

}  // namespace

extern "C" int rename(const char* from, const char* to) {
    using Rename = int (*)(const char*, const char*);
    static const Rename real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
    if (chosen(to)) {
        if (const char* marker = std::getenv("STALL_RENAME_MARKER")) {
            close(open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        }
        for (;;) pause();  // until the test kills the program
    }
    return real(from, to);
}

// Preloaded into the program under test, this holds one chosen rename() still, so that a test
// can kill the program in the middle of a recovery write: the new text is complete in its
// temporary file and the old file not yet replaced. Chosen by the environment:
//   STALL_RENAME_FOLDER  renames into this folder count ...
//   STALL_RENAME_SUFFIX  ... when the new name ends so (".twp")
//   STALL_RENAME_AT      the count at which to stall (1 for the first such rename)
//   STALL_RENAME_MARKER  a file made when the stall begins, for the test to wait for
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

bool starts_with(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool ends_with(const char* text, const char* suffix) {
    const size_t length = std::strlen(text);
    const size_t suffix_length = std::strlen(suffix);
    return length >= suffix_length && std::strcmp(text + length - suffix_length, suffix) == 0;
}

bool chosen(const char* to) {
    static std::atomic<int> seen{0};
    const char* folder = std::getenv("STALL_RENAME_FOLDER");
    const char* suffix = std::getenv("STALL_RENAME_SUFFIX");
    const char* at = std::getenv("STALL_RENAME_AT");
    if (folder == nullptr || suffix == nullptr || at == nullptr) return false;
    if (!starts_with(to, folder) || !ends_with(to, suffix)) return false;
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

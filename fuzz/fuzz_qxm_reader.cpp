// Feeds whole object files to the reader. The first byte of an input is the answer the
// selection dialog gives (see chooser_answer); the rest is the file. Every way of reading it
// is checked against what the reader promises, and a broken promise aborts like a crash.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/input_checks.h"

namespace {

// One file per process, rewritten for every input; in memory where the system offers it.
const std::string& scratch_path() {
    static const std::string path = [] {
        const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(folder) + "/warpkit-fuzz-qxm-" + std::to_string(getpid()) + ".qxm";
    }();
    return path;
}

void remove_scratch() {
    std::remove(scratch_path().c_str());
}

bool write_scratch(const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(scratch_path().c_str(), "wb");
    if (!file) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(remove_scratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (!write_scratch(data + 1, size - 1)) {
        std::fprintf(stderr, "cannot write %s\n", scratch_path().c_str());
        std::abort();
    }
    const std::string fault = warpkit::testing::check_object_file(scratch_path(), data[0]);
    if (!fault.empty()) {
        std::fprintf(stderr, "broken promise: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}

// Feeds glTF files (text or binary) to the reader in memory: an input is refused with a reason, or
// every mesh it gives can be written as an object file under names a project keeps. A broken
// promise aborts like a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/import_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string fault = warpkit::testing::check_gltf_bytes(bytes);
    if (!fault.empty()) {
        std::fprintf(stderr, "broken promise: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}

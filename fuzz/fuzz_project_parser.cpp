// Feeds project texts to the parser: a text is refused with a reason, or its data is written
// and read back to the same data. A broken promise aborts like a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/input_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string fault = warpkit::testing::check_project_text(text);
    if (!fault.empty()) {
        std::fprintf(stderr, "broken promise: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}

#include "support/child_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace warpkit::testing {

std::string in_child(const std::function<std::string()>& body, bool* returned) {
    if (returned != nullptr) *returned = false;
    int channel[2];
    if (pipe(channel) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const std::string result = body();
        const ssize_t written = write(channel[1], result.data(), result.size());
        _exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    close(channel[1]);
    std::string result;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) result.append(buffer, n);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (returned != nullptr) *returned = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

bool limit_address_space(rlim_t beyond) {
    rlim_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t cap = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + beyond;
    const rlimit limit{cap, cap};
    return setrlimit(RLIMIT_AS, &limit) == 0;
}

}  // namespace warpkit::testing

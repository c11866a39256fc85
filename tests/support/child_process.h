#pragma once
// Work a test runs in a forked child: what must not touch the test's own process (dropped
// privileges, a private mount) or may run out of what a limit leaves it.
#include <sys/resource.h>

#include <functional>
#include <string>

namespace warpkit::testing {

// Runs `body` in a child process and returns what it returned. `returned`, when given, says
// whether the child got that far: false when it died (a signal, std::terminate) or exited early.
std::string in_child(const std::function<std::string()>& body, bool* returned = nullptr);

// Limits this process's address space to what it has now and `beyond` bytes more; for a child.
bool limit_address_space(rlim_t beyond);

}  // namespace warpkit::testing

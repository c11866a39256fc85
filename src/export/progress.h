#pragma once
// Progress of a long export, for the person waiting at the terminal. Quiet for the first second,
// so quick exports print nothing; after that one line at most every second, each line whole,
// so a log file reads as well as a terminal.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

namespace warpkit::exporting {

class Progress {
public:
    using Clock = std::function<double()>;  // seconds, never decreasing

    // `what` names the work ("writing frames"); `total` is the number of steps.
    Progress(std::ostream& out, std::string what, int64_t total, Clock clock = steady_seconds());

    // `done` steps of `total` are finished.
    void advance(int64_t done);
    // Closes with a last line when anything was printed.
    void finish();

    static Clock steady_seconds();

private:
    std::ostream& out_;
    std::string what_;
    int64_t total_;
    Clock clock_;
    double start_;
    double last_line_ = -1.0;  // time of the last line; negative: none yet
};

}  // namespace warpkit::exporting

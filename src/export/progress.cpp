#include "export/progress.h"

#include <chrono>
#include <cstdio>
#include <ostream>

namespace warpkit::exporting {

namespace {

constexpr double kQuietSeconds = 1.0;
constexpr double kLineSeconds = 1.0;

}  // namespace

Progress::Clock Progress::steady_seconds() {
    return [] {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    };
}

Progress::Progress(std::ostream& out, std::string what, int64_t total, Clock clock)
    : out_(out),
      what_(std::move(what)),
      total_(total),
      clock_(std::move(clock)),
      start_(clock_()) {}

void Progress::advance(int64_t done) {
    const double now = clock_();
    if (now - start_ < kQuietSeconds) return;
    if (last_line_ >= 0.0 && now - last_line_ < kLineSeconds) return;
    last_line_ = now;
    const int percent = total_ > 0 ? static_cast<int>(done * 100 / total_) : 100;
    out_ << what_ << ": " << done << " of " << total_ << " (" << percent << "%)\n" << std::flush;
}

void Progress::finish() {
    if (last_line_ < 0.0) return;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", clock_() - start_);
    out_ << what_ << ": done, " << total_ << " in " << seconds << " s\n" << std::flush;
}

}  // namespace warpkit::exporting

#pragma once
// The report of `warpkit-export check`: what the program's project load makes of a project,
// target by target, and hints at targets that would blend badly.
#include <string>

#include "export/project_load.h"

namespace warpkit::exporting {

struct CheckReport {
    std::string text;         // the whole report, lines ended by '\n'
    int warnings = 0;         // targets left out by the load, suspicious targets, weights outside
                              // 0..100, no target loaded
    int strict_failures = 0;  // those of them that --strict refuses: all but the weights
};

CheckReport check_report(const LoadedProject& project);

}  // namespace warpkit::exporting

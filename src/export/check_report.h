#pragma once
// The report of `warpkit-export check`: what the program's project load makes of a project,
// target by target, and hints at targets that would blend badly.
#include <string>

#include "export/project_load.h"

namespace warpkit::exporting {

struct CheckReport {
    std::string text;  // the whole report, lines ended by '\n'
    int warnings = 0;  // targets left out by the load, and suspicious targets
};

CheckReport check_report(const LoadedProject& project);

}  // namespace warpkit::exporting

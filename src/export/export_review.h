#pragma once
// What an export should warn of beyond the load's own warnings, and what --strict refuses:
// targets the load left out, targets whose vertices seem to come in another order than the
// source's, a project without a target, and weights that players may not show as the program
// does.
#include <cstdint>
#include <string>
#include <vector>

#include "export/project_load.h"
#include "model/target_measure.h"

namespace warpkit::exporting {

// Targets the project names that the load left out (it warns of each itself).
int targets_left_out(const LoadedProject& project);

// The warning for a target `measure` marks as suspicious, without the target's name; empty
// when it is not.
std::string vertex_order_warning(const TargetMeasure& measure);

// The warning for target `slot` when its weight leaves 0 .. 100 at a frame of first .. last
// (the first such frame, where the keys put it); empty when it stays inside. glTF importers
// may clamp weights to 0 .. 1 and so show another shape.
std::string weight_range_warning(const EditorState& state, int slot, int32_t first, int32_t last);

struct ExportReview {
    std::vector<std::string> warnings;  // one line each, naming the target
    int strict_failures = 0;  // targets left out or suspicious, and a project without targets
};

// The review of an export of frames first .. last; weight warnings only with `weights` (for
// files that carry weights rather than shapes).
ExportReview review_export(const LoadedProject& project, int32_t first, int32_t last, bool weights);

}  // namespace warpkit::exporting

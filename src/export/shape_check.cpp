#include "export/shape_check.h"

#include <cmath>

#include "export/frame_weights.h"

namespace warpkit::exporting {

std::string non_finite_problem(const std::vector<Vec3>& points, const std::string& what) {
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec3& p = points[i];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            return "vertex " + std::to_string(i) + " of " + what + " is not a finite point";
        }
    }
    return std::string();
}

std::string session_shape_problem(const EditorState& state) {
    std::string problem = non_finite_problem(state.slots[0].vertices, "the source");
    for (int k : loaded_targets(state)) {
        if (!problem.empty()) break;
        problem =
            non_finite_problem(state.slots[k].vertices, "target " + target_label(state, k) +
                                                            ", as an offset from the source,");
    }
    return problem;
}

}  // namespace warpkit::exporting

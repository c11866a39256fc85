#include "export/unit_normals.h"

#include <cmath>

#include "model/normals.h"
#include "morph/key_track.h"

namespace warpkit::exporting {

std::vector<Vec3> unit_vertex_normals(EditorState& state) {
    compute_vertex_normals(state);
    std::vector<Vec3> normals = state.mesh.vertex_normals;
    for (Vec3& n : normals) {
        const double length =
            std::sqrt(static_cast<double>(n.x) * n.x + static_cast<double>(n.y) * n.y +
                      static_cast<double>(n.z) * n.z);
        if (!(length > 0.0) || !std::isfinite(length)) {
            n = {0.0f, 0.0f, 1.0f};
            continue;
        }
        n = {static_cast<float>(n.x / length), static_cast<float>(n.y / length),
             static_cast<float>(n.z / length)};
    }
    return normals;
}

std::vector<Vec3> target_normal_offsets(EditorState& state, int slot,
                                        const std::vector<Vec3>& source_normals) {
    // The shape the program shows with this target's weight at 100 and every other at 0.
    std::array<float, kTargetCount + 1> weights{};
    weights[slot] = 100.0f;
    blend(state, weights);
    std::vector<Vec3> offsets = unit_vertex_normals(state);
    for (size_t i = 0; i < offsets.size(); ++i) {
        offsets[i] = {offsets[i].x - source_normals[i].x, offsets[i].y - source_normals[i].y,
                      offsets[i].z - source_normals[i].z};
    }
    return offsets;
}

}  // namespace warpkit::exporting

#include "export/unit_normals.h"

#include <cmath>

#include "model/normals.h"

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

}  // namespace warpkit::exporting

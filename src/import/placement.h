#pragma once
// Where a file's node puts a mesh: an affine map worked out in double precision. Importers
// place each mesh as the file shows it (its node's transform, parents included), so a mesh kept
// small in a file whose node scales it up is not lost in front of the view's near plane.
#include <array>
#include <vector>

#include "base/geometry.h"

namespace warpkit {

struct Placement {
    std::array<double, 9> linear = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // row-major
    std::array<double, 3> translation = {0, 0, 0};

    bool is_identity() const;
    // This placement applied after `inner` (a parent's placement after its child's).
    Placement after(const Placement& inner) const;
};

// A glTF matrix: 16 numbers in column-major order.
Placement placement_from_columns(const double* columns);
// glTF translation, rotation (unit quaternion x, y, z, w) and scale, applied scale first.
Placement placement_from_trs(const double* translation, const double* rotation,
                             const double* scale);
// 12 numbers of the top three rows of a row-major 4 x 4 matrix.
Placement placement_from_rows(const double* rows);

// Moves every point; the identity leaves the floats untouched.
void place(const Placement& placement, std::vector<Vec3>& points);

}  // namespace warpkit

#include "model/target_measure.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace warpkit {

double bounding_box_diagonal(const std::vector<Vec3>& points) {
    if (points.empty()) return 0.0;
    Vec3 low = points[0];
    Vec3 high = points[0];
    for (const Vec3& p : points) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    const double dx = static_cast<double>(high.x) - low.x;
    const double dy = static_cast<double>(high.y) - low.y;
    const double dz = static_cast<double>(high.z) - low.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

TargetMeasure measure_target(const std::vector<Vec3>& displacements, double diagonal) {
    TargetMeasure measure;
    measure.vertex_count = static_cast<int32_t>(displacements.size());
    const double far_length = kFarShare * diagonal;
    for (const Vec3& d : displacements) {
        if (d.x == 0.0f && d.y == 0.0f && d.z == 0.0f) continue;
        ++measure.moved;
        const double length =
            std::sqrt(static_cast<double>(d.x) * d.x + static_cast<double>(d.y) * d.y +
                      static_cast<double>(d.z) * d.z);
        measure.largest = std::max(measure.largest, length);
        if (diagonal > 0.0 && length > far_length) ++measure.far;
    }
    if (diagonal > 0.0) {
        measure.largest_share = measure.largest / diagonal;
        measure.suspicious = measure.far > kSuspiciousShare * measure.vertex_count;
    }
    return measure;
}

TargetMeasure measure_target_positions(const std::vector<Vec3>& source,
                                       const std::vector<Vec3>& target) {
    assert(source.size() == target.size());
    std::vector<Vec3> displacements(target.size());
    for (size_t i = 0; i < target.size(); ++i) {
        displacements[i] = {target[i].x - source[i].x, target[i].y - source[i].y,
                            target[i].z - source[i].z};
    }
    return measure_target(displacements, bounding_box_diagonal(source));
}

}  // namespace warpkit

#include "import/placement.h"

namespace warpkit {

bool Placement::is_identity() const {
    const Placement identity;
    return linear == identity.linear && translation == identity.translation;
}

Placement Placement::after(const Placement& inner) const {
    Placement out;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) sum += linear[3 * r + k] * inner.linear[3 * k + c];
            out.linear[3 * r + c] = sum;
        }
        double moved = translation[r];
        for (int k = 0; k < 3; ++k) moved += linear[3 * r + k] * inner.translation[k];
        out.translation[r] = moved;
    }
    return out;
}

Placement placement_from_columns(const double* columns) {
    Placement out;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) out.linear[3 * r + c] = columns[4 * c + r];
        out.translation[r] = columns[12 + r];
    }
    return out;
}

Placement placement_from_trs(const double* translation, const double* rotation,
                             const double* scale) {
    const double x = rotation[0], y = rotation[1], z = rotation[2], w = rotation[3];
    const double rotate[9] = {
        1 - 2 * (y * y + z * z), 2 * (x * y - z * w),     2 * (x * z + y * w),
        2 * (x * y + z * w),     1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
        2 * (x * z - y * w),     2 * (y * z + x * w),     1 - 2 * (x * x + y * y)};
    Placement out;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) out.linear[3 * r + c] = rotate[3 * r + c] * scale[c];
        out.translation[r] = translation[r];
    }
    return out;
}

Placement placement_from_rows(const double* rows) {
    Placement out;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) out.linear[3 * r + c] = rows[4 * r + c];
        out.translation[r] = rows[4 * r + 3];
    }
    return out;
}

void place(const Placement& placement, std::vector<Vec3>& points) {
    if (placement.is_identity()) return;
    const std::array<double, 9>& m = placement.linear;
    const std::array<double, 3>& t = placement.translation;
    for (Vec3& p : points) {
        const double x = p.x, y = p.y, z = p.z;
        p = Vec3{static_cast<float>(m[0] * x + m[1] * y + m[2] * z + t[0]),
                 static_cast<float>(m[3] * x + m[4] * y + m[5] * z + t[1]),
                 static_cast<float>(m[6] * x + m[7] * y + m[8] * z + t[2])};
    }
}

}  // namespace warpkit

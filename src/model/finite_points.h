#pragma once
// Finding the first point that is not finite, on its own or as an offset from another point:
// every target a session loads is scanned so, a million vertices at a time.
#include <cstddef>
#include <cstdint>

#include "base/geometry.h"

namespace warpkit {

// target - base in float, as a target's offsets are made and scanned.
inline Vec3 offset_from(const Vec3& target, const Vec3& base) {
    return Vec3{target.x - base.x, target.y - base.y, target.z - base.z};
}

// The first index in [begin, end) with a coordinate that is an infinity or a NaN, or -1.
int64_t first_non_finite(const Vec3* points, size_t begin, size_t end);

// The first index in [begin, end) whose offset_from(target, base) has such a coordinate, or -1.
int64_t first_non_finite_offset(const Vec3* target, const Vec3* base, size_t begin, size_t end);

}  // namespace warpkit

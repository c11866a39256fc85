#include "model/finite_points.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace warpkit {

namespace {

// An infinity or a NaN: all exponent bits set. Bits rather than std::isfinite, so that a
// block of points is looked at without a branch for each.
bool exponent_full(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits & 0x7f800000u) == 0x7f800000u;
}

bool has_non_finite(const Vec3& p) {
    return exponent_full(p.x) | exponent_full(p.y) | exponent_full(p.z);
}

static_assert(sizeof(Vec3) == 3 * sizeof(float), "a run of points is a run of floats");

// Whether any of `count` floats (each less the base's, when WithBase) is an infinity or a NaN:
// four at a time where the processor has SSE2, which every x86-64 has.
template <bool WithBase>
bool any_exponent_full(const float* values, const float* base, size_t count) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i exponent = _mm_set1_epi32(0x7f800000);
    __m128i full = _mm_setzero_si128();
    for (; i + 4 <= count; i += 4) {
        __m128 v = _mm_loadu_ps(values + i);
        if (WithBase) v = _mm_sub_ps(v, _mm_loadu_ps(base + i));
        const __m128i bits = _mm_and_si128(_mm_castps_si128(v), exponent);
        full = _mm_or_si128(full, _mm_cmpeq_epi32(bits, exponent));
    }
    if (_mm_movemask_epi8(full) != 0) return true;
#endif
    bool any = false;
    for (; i < count; ++i) any |= exponent_full(WithBase ? values[i] - base[i] : values[i]);
    return any;
}

// Blocks are passed over with one test each; only a block with a fault is looked at point by
// point.
template <bool WithBase>
int64_t first_faulty(const Vec3* points, const Vec3* base, size_t begin, size_t end) {
    constexpr size_t kBlock = 1024;
    for (size_t block = begin; block < end; block += kBlock) {
        const size_t block_end = std::min(end, block + kBlock);
        const float* values = &points[block].x;
        const float* base_values = WithBase ? &base[block].x : nullptr;
        if (!any_exponent_full<WithBase>(values, base_values, 3 * (block_end - block))) continue;
        for (size_t i = block; i < block_end; ++i) {
            if (has_non_finite(WithBase ? offset_from(points[i], base[i]) : points[i])) {
                return static_cast<int64_t>(i);
            }
        }
    }
    return -1;
}

}  // namespace

int64_t first_non_finite(const Vec3* points, size_t begin, size_t end) {
    return first_faulty<false>(points, nullptr, begin, end);
}

int64_t first_non_finite_offset(const Vec3* target, const Vec3* base, size_t begin, size_t end) {
    return first_faulty<true>(target, base, begin, end);
}

}  // namespace warpkit

#include "morph/key_track.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <type_traits>

#include "base/texts.h"

namespace warpkit {

static_assert(sizeof(Vec3) == 3 * sizeof(float), "the blend walks vertices as plain floats");

const char* key_caption_text(KeyCaption caption) {
    switch (caption) {
        case KeyCaption::kApplied:
            return texts::kApplied;
        case KeyCaption::kMakeKey:
            return texts::kMakeKey;
        case KeyCaption::kDeleteKey:
            return texts::kDeleteKey;
    }
    return texts::kDeleteKey;
}

KeyCaption key_caption_from_text(const std::string& text) {
    if (text == texts::kMakeKey) return KeyCaption::kMakeKey;
    if (text == texts::kApplied) return KeyCaption::kApplied;
    return KeyCaption::kDeleteKey;
}

namespace {

float interpolate(int32_t f0, float w0, int32_t f1, float w1, int32_t frame) {
    // Two keys on one frame cannot come from the editing operations; keep the earlier weight
    // rather than dividing by zero.
    if (f1 == f0) return w0;
    const long double slope = (static_cast<long double>(w1) - static_cast<long double>(w0)) /
                              (static_cast<long double>(f1) - static_cast<long double>(f0));
    const long double value =
        slope * (static_cast<long double>(frame) - static_cast<long double>(f0)) +
        static_cast<long double>(w0);
    return static_cast<float>(value);
}

}  // namespace

FrameEvaluation evaluate_track(const KeyTrack& track, int32_t frame) {
    const int32_t n = track.count();
    const std::vector<int32_t>& f = track.frames;
    const std::vector<float>& w = track.weights;
    if (n == 0) return {0.0f, frame == 0 ? KeyCaption::kApplied : KeyCaption::kMakeKey};
    if (frame == 0) return {w[0], KeyCaption::kApplied};
    if (f[n - 1] < frame) return {w[n - 1], KeyCaption::kMakeKey};

    // Before the first key (only a track not starting at 0) the first weight holds.
    FrameEvaluation result{w[0], KeyCaption::kMakeKey};
    for (int32_t k = 0; k + 1 < n; ++k) {
        if (f[k] <= frame && frame <= f[k + 1]) {
            result.weight = interpolate(f[k], w[k], f[k + 1], w[k + 1], frame);
        }
        if (f[k] == frame || f[k + 1] == frame) {
            result.caption = KeyCaption::kDeleteKey;
            break;
        }
    }
    return result;
}

bool make_key(KeyTrack& track, int32_t frame, float weight) {
    const int32_t n = track.count();
    if (n == 0 || track.frames[n - 1] < frame) {
        track.frames.push_back(frame);
        track.weights.push_back(weight);
        return true;
    }
    for (int32_t k = 0; k + 1 < n; ++k) {
        if (track.frames[k] < frame && frame < track.frames[k + 1]) {
            track.frames.insert(track.frames.begin() + k + 1, frame);
            track.weights.insert(track.weights.begin() + k + 1, weight);
            return true;
        }
    }
    return false;
}

bool delete_key(KeyTrack& track, int32_t frame) {
    const int32_t n = track.count();
    // The first key is never examined: it anchors the track at frame 0.
    for (int32_t k = 1; k + 1 < n; ++k) {
        if (track.frames[k] == frame) {
            track.frames.erase(track.frames.begin() + k);
            track.weights.erase(track.weights.begin() + k);
            return true;
        }
    }
    if (n >= 2 && track.frames[n - 1] == frame) {
        track.frames.pop_back();
        track.weights.pop_back();
        return true;
    }
    return false;
}

bool set_key_weight_at(KeyTrack& track, int32_t frame, float weight) {
    for (size_t k = 0; k < track.frames.size(); ++k) {
        if (track.frames[k] == frame) {
            track.weights[k] = weight;
            return true;
        }
    }
    return false;
}

namespace {

// Components blended per block. The block's sums stay in registers and L1 while each
// target's displacement streams through once, so memory sees one pass over every array. Small
// blocks keep the nine read streams close together, which the prefetchers follow best; from
// 256 on, a block's stores to its sums start to collide with the loads of displacements that
// lie a multiple of 4 KiB away (each target's array starts at the same page offset).
constexpr size_t kBlendBlock = 64;

struct WeightedTarget {
    const float* displacement;
    float weight;
};

// displayed[m] = base[m] + sum over targets in order of (displacement[m] * weight) * 0.01f,
// every product and partial sum in float. Full blocks pass their length as a constant, which
// lets the compiler turn the loops into vector code; the last, shorter block runs the same
// operations one by one, so both give the same floats.
template <typename Length>
void blend_block(const float* __restrict base, const WeightedTarget* targets, int count,
                 Length length, float* __restrict displayed, size_t start) {
    float sums[kBlendBlock] = {};
    for (int t = 0; t < count; ++t) {
        const float* __restrict displacement = targets[t].displacement + start;
        const float weight = targets[t].weight;
        for (size_t m = 0; m < length; ++m) sums[m] += (displacement[m] * weight) * 0.01f;
    }
    for (size_t m = 0; m < length; ++m) displayed[start + m] = base[start + m] + sums[m];
}

void blend_components(const float* base, const WeightedTarget* targets, int count,
                      size_t components, float* displayed) {
    size_t start = 0;
    for (; start + kBlendBlock <= components; start += kBlendBlock) {
        blend_block(base, targets, count, std::integral_constant<size_t, kBlendBlock>{}, displayed,
                    start);
    }
    if (start < components) {
        blend_block(base, targets, count, components - start, displayed, start);
    }
}

}  // namespace

void blend(EditorState& state, const std::array<float, kTargetCount + 1>& weights) {
    ObjectMesh& mesh = state.mesh;
    const std::vector<Vec3>& source = state.slots[0].vertices;
    assert(mesh.displayed.size() == source.size());
    // Never walk past a buffer, even when a caller broke the sizes made at load.
    const size_t vertices = std::min(source.size(), mesh.displayed.size());
    if (vertices == 0) return;

    WeightedTarget targets[kTargetCount];
    int count = 0;
    for (int j = 1; j <= kTargetCount; ++j) {
        const TargetSlot& target = state.slots[j];
        if (!state.target_loaded(j)) continue;
        assert(target.vertices.size() == source.size());
        if (target.vertices.size() < vertices) continue;
        targets[count++] = WeightedTarget{&target.vertices[0].x, weights[j]};
    }
    blend_components(&source[0].x, targets, count, 3 * vertices, &mesh.displayed[0].x);
}

}  // namespace warpkit

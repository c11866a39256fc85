#include "morph/key_track.h"

#include <algorithm>
#include <cassert>
#include <cstddef>

#include "app/texts.h"

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

void blend(EditorState& state, const std::array<float, kTargetCount + 1>& weights) {
    ObjectMesh& mesh = state.mesh;
    const std::vector<Vec3>& source = state.slots[0].vertices;
    assert(mesh.blend_offsets.size() == source.size());
    assert(mesh.displayed.size() == source.size());
    // Never walk past a buffer, even when a caller broke the sizes made at load.
    const size_t vertices =
        std::min({source.size(), mesh.blend_offsets.size(), mesh.displayed.size()});
    const size_t components = 3 * vertices;
    if (components == 0) return;

    float* offsets = &mesh.blend_offsets[0].x;
    std::fill(offsets, offsets + components, 0.0f);

    // Accumulate each loaded target's weighted displacement, one pass per target in order.
    for (int j = 1; j <= kTargetCount; ++j) {
        const TargetSlot& target = state.slots[j];
        if (!state.target_loaded(j)) continue;
        assert(target.vertices.size() == source.size());
        if (target.vertices.size() < vertices) continue;
        const float* displacement = &target.vertices[0].x;
        const double weight = static_cast<double>(weights[j]);
        for (size_t m = 0; m < components; ++m) {
            const double term = (static_cast<double>(displacement[m]) * weight) * 0.01;
            offsets[m] = static_cast<float>(static_cast<double>(offsets[m]) + term);
        }
    }

    // Add the source.
    const float* base = &source[0].x;
    float* displayed = &mesh.displayed[0].x;
    for (size_t m = 0; m < components; ++m) displayed[m] = base[m] + offsets[m];
}

}  // namespace warpkit

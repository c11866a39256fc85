#include "export/frame_weights.h"

#include <algorithm>

#include "base/display_text.h"
#include "model/qxm_reader.h"
#include "morph/key_track.h"

namespace warpkit::exporting {

std::vector<int> loaded_targets(const EditorState& state) {
    std::vector<int> slots;
    for (int k = 1; k <= kTargetCount; ++k) {
        if (state.target_loaded(k)) slots.push_back(k);
    }
    return slots;
}

std::string target_label(const EditorState& state, int slot) {
    return std::to_string(slot) + " " + display_text(state.slots[slot].name);
}

SlotWeights weights_at(const EditorState& state, int32_t frame) {
    SlotWeights weights{};
    for (int k : loaded_targets(state))
        weights[k] = evaluate_track(state.slots[k].keys, frame).weight;
    return weights;
}

void blend_at(EditorState& state, int32_t frame) {
    blend(state, weights_at(state, frame));
}

std::vector<int32_t> animation_frames(const EditorState& state, int32_t first, int32_t last) {
    std::vector<int32_t> frames = {first, last};
    for (int k : loaded_targets(state)) {
        for (int32_t frame : state.slots[k].keys.frames) {
            if (frame > first && frame < last) frames.push_back(frame);
        }
    }
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    return frames;
}

std::vector<int32_t> animation_frames(const EditorState& state) {
    return animation_frames(state, 0, state.max_frame);
}

int64_t stepped_frame_count(int32_t first, int32_t last, int32_t step) {
    return (static_cast<int64_t>(last) - first) / step + 1;
}

std::vector<int32_t> sampled_frames(int32_t first, int32_t last, int32_t step) {
    std::vector<int32_t> frames;
    frames.reserve(static_cast<size_t>(stepped_frame_count(first, last, step)) + 1);
    for (int64_t frame = first; frame <= last; frame += step) {
        frames.push_back(static_cast<int32_t>(frame));
    }
    if (frames.back() != last) frames.push_back(last);
    return frames;
}

}  // namespace warpkit::exporting

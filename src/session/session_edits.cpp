#include "session/session_edits.h"

#include <algorithm>
#include <cassert>

#include "morph/key_track.h"

namespace warpkit {

bool make_key_at_current_frame(EditorState& state, int k) {
    assert(k >= 1 && k <= kTargetCount);
    if (!state.target_loaded(k)) return false;
    TargetSlot& slot = state.slots[k];
    // Even a click that adds nothing counts as an edit the user asked for.
    state.modified = 1;
    return make_key(slot.keys, state.current_frame, slot.weight);
}

bool delete_key_at_current_frame(EditorState& state, int k) {
    assert(k >= 1 && k <= kTargetCount);
    if (!state.target_loaded(k)) return false;
    // Removing a key is a change the project records; a click that finds none is still an
    // edit the user asked for.
    state.modified = 1;
    return delete_key(state.slots[k].keys, state.current_frame);
}

std::optional<float> key_weight_at_current_frame(const EditorState& state, int k) {
    assert(k >= 1 && k <= kTargetCount);
    if (!state.target_loaded(k)) return std::nullopt;
    const KeyTrack& track = state.slots[k].keys;
    const auto key = std::find(track.frames.begin(), track.frames.end(), state.current_frame);
    if (key == track.frames.end()) return std::nullopt;
    return track.weights[static_cast<size_t>(key - track.frames.begin())];
}

bool set_key_weight_at_current_frame(EditorState& state, int k, float w) {
    assert(k >= 1 && k <= kTargetCount);
    if (!state.target_loaded(k)) return false;
    KeyTrack& track = state.slots[k].keys;
    const auto key = std::find(track.frames.begin(), track.frames.end(), state.current_frame);
    if (key == track.frames.end()) return false;
    float& weight = track.weights[static_cast<size_t>(key - track.frames.begin())];
    // A key's weight is recorded in the project file, so only a real change is unsaved work.
    if (weight != w) {
        weight = w;
        state.modified = 1;
    }
    return true;
}

bool set_max_frame(EditorState& state, int32_t m) {
    if (m < 1) return false;
    if (state.max_frame != m) {
        state.max_frame = m;
        state.modified = 1;  // the number of frames is part of the project
    }
    set_current_frame(state, state.current_frame);
    return true;
}

void set_current_frame(EditorState& state, int32_t f) {
    state.current_frame = std::clamp(f, 0, state.max_frame);
}

}  // namespace warpkit

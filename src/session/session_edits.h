#pragma once
// The edits of keys and frames that a session records, without any window: what a key button,
// a weight field's exit, a spinner's release, the frame dialog and the timeline do to
// EditorState, and whether each leaves unsaved work behind (the modified flag).
#include <cstdint>
#include <optional>

#include "base/editor_state.h"

namespace warpkit {

// Makes a key of target k (1..8) at the current frame with the slot's weight. Returns true
// when a key was added; a key already on that frame stays as it is. Sets the modified flag
// whenever target k is loaded; an empty slot changes nothing and returns false.
bool make_key_at_current_frame(EditorState& state, int k);

// Removes target k's key at the current frame; the first key (frame 0) is never removed.
// Returns true when a key was removed. Sets the modified flag whenever target k is loaded,
// whether or not a key was removed; an empty slot changes nothing and returns false.
bool delete_key_at_current_frame(EditorState& state, int k);

// The weight of target k's key at the current frame; none when there is no such key (or the
// slot is empty).
std::optional<float> key_weight_at_current_frame(const EditorState& state, int k);

// Gives target k's key at the current frame the weight w (percent). Returns true when there
// is such a key. Sets the modified flag only when the key's weight really changed.
bool set_key_weight_at_current_frame(EditorState& state, int k, float w);

// Sets the number of frames to m and brings the current frame into 0..m. Refuses (returns
// false, changes nothing) when m is below 1, since the timeline divides by it. Sets the
// modified flag only when the maximum really changed.
bool set_max_frame(EditorState& state, int32_t m);

// Moves to frame f, clamped to 0..maximum frame. Never sets the modified flag.
void set_current_frame(EditorState& state, int32_t f);

}  // namespace warpkit

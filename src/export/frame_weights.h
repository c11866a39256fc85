#pragma once
// The weights of the loaded targets along the timeline, worked out by the program's own key
// evaluation, and the shape they give. Frames are those of the program's timeline; a weight is
// in percent.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/editor_state.h"

namespace warpkit::exporting {

using SlotWeights = std::array<float, kTargetCount + 1>;  // [1..8]; [0] and empty slots 0

// The loaded target slots, ascending.
std::vector<int> loaded_targets(const EditorState& state);

// Slot number and object name for display: "1 smile".
std::string target_label(const EditorState& state, int slot);

// Every loaded target's weight at `frame`, as the timeline shows it there.
SlotWeights weights_at(const EditorState& state, int32_t frame);

// Blends the session's shape at `frame` (mesh.displayed), as the timeline shows it there.
// Needs a loaded source.
void blend_at(EditorState& state, int32_t frame);

// The frames an animation of first .. last needs so that linear interpolation between them
// gives the program's weight at every frame: first, every key of a loaded target strictly
// inside, and last, so the animation lasts as long as the range. Ascending. Without a range:
// the whole timeline, 0 .. max_frame.
std::vector<int32_t> animation_frames(const EditorState& state, int32_t first, int32_t last);
std::vector<int32_t> animation_frames(const EditorState& state);

// The most frames one animation may be sampled at, by gltf --step and by project: float times
// cannot tell more apart anyway, and the samples of eight targets must fit in memory.
inline constexpr int64_t kMaxSamples = int64_t{1} << 24;

// How many frames first, first + step, ... up to last there are (step > 0, first <= last).
int64_t stepped_frame_count(int32_t first, int32_t last, int32_t step);

// Those frames, and last after them when the steps miss it. Ascending.
std::vector<int32_t> sampled_frames(int32_t first, int32_t last, int32_t step);

}  // namespace warpkit::exporting

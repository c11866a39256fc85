#pragma once
// The weights of the loaded targets along the timeline, worked out by the program's own key
// evaluation, and the shape they give. Frames are those of the program's timeline; a weight is
// in percent.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/editor_state.h"

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

// The frames an animation of 0 .. max_frame needs so that linear interpolation between them
// gives the program's weight at every frame: 0, every key of a loaded target inside the
// timeline, and max_frame, so the animation lasts as long as the timeline. Ascending.
std::vector<int32_t> animation_frames(const EditorState& state);

}  // namespace warpkit::exporting

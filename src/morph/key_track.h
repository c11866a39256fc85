#pragma once
// Key tracks of the targets and the blend that turns them into the displayed shape.
// Tracks hold frames strictly increasing with the first key at frame 0; the operations here
// keep that true, and the evaluation is defined (if not meaningful) for any track.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/editor_state.h"

namespace warpkit {

// The key situation of a target at the current frame, as its key button shows it.
enum class KeyCaption { kApplied, kMakeKey, kDeleteKey };
const char* key_caption_text(KeyCaption caption);
// "APPLIED" and "MAKE KEY" map to their values; any other caption reads as kDeleteKey, since a
// key button that does not offer to make a key deletes one.
KeyCaption key_caption_from_text(const std::string& text);

// The weight of a track at `frame` and the key button's caption there. Frame 0 takes the first
// key's weight ("APPLIED"); the weight is held before the first and after the last key and
// linear between keys, worked out in extended precision and rounded once to float. An empty
// track gives weight 0.
struct FrameEvaluation {
    float weight = 0.0f;
    KeyCaption caption = KeyCaption::kApplied;
};
FrameEvaluation evaluate_track(const KeyTrack& track, int32_t frame);

// Inserts (frame, weight) in frame order; a key already on `frame` (or a frame before the
// first key) leaves the track as is. Returns true when a key was added.
bool make_key(KeyTrack& track, int32_t frame, float weight);
// Removes the key on `frame` unless it is the first key; returns true when one was removed.
bool delete_key(KeyTrack& track, int32_t frame);
// Sets the weight of the first key on `frame`; returns true when there was one.
bool set_key_weight_at(KeyTrack& track, int32_t frame, float weight);

// displayed = source + the sum over loaded targets j, in order, of (offset_j * weights[j]) *
// 0.01f, every product and partial sum rounded to float. One pass over the source, the loaded
// targets' offsets and mesh.displayed (sized at load; nothing allocated); weights[0] is unused,
// unloaded targets are skipped. Needs a loaded source.
void blend(EditorState& state, const std::array<float, kTargetCount + 1>& weights);

}  // namespace warpkit

#pragma once
// Undoable edits of a session, without any window. A step records only what one edit changed,
// so undoing and redoing it brings the session back exactly. Steps that replace objects hold
// the side that is not in the session: its arrays are moved between the session and the step,
// never copied, so an object is held either by the session or by one step.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/editor_state.h"
#include "morph/key_track.h"

namespace warpkit {

// One target row as the window shows it beside the session's data: the field's text, the key
// button's caption, the weight last taken from the field, and the weight the picture was
// blended at (0 for an empty slot).
struct WeightRow {
    std::string text;
    KeyCaption caption = KeyCaption::kMakeKey;
    float weight = 0.0f;
    float blended = 0.0f;
};

// The frame and the rows around an edit: an undo shows those of before it, a redo those of
// after it, so the rows, the frame and the picture read as they did.
struct WeightView {
    int32_t current_frame = 0;
    std::array<WeightRow, kTargetCount + 1> rows;  // [1..8]
};

// The key of target `slot` on `frame` before and after the edit: none, or its weight. Making,
// deleting and reweighting a key are all this.
struct KeyEdit {
    int slot = 0;
    int32_t frame = 0;
    std::optional<float> before;
    std::optional<float> after;
};

struct MaxFrameEdit {
    int32_t before = 0;
    int32_t after = 0;
};

// Target `slot` loaded, reloaded or removed; `other` is the slot's side not in the session.
struct TargetEdit {
    int slot = 0;
    TargetSlot other;
};

// Everything a source load replaces: the source with its mesh, the view that frames it, the
// object colour, every target, and the number of frames (an imported animation sets it). Held by a
// step, the mesh keeps only what cannot be worked out again (triangles and palette); the rest is
// rebuilt when the setup goes back in.
struct SourceSetup {
    int32_t vertex_count = 0;
    int32_t triangle_count = 0;
    ObjectMesh mesh;
    Vec3 view_centre;
    float view_distance = 0.0f;
    float yaw = 0.0f;
    float pitch = 0.0f;
    std::array<float, 3> object_colour{};
    std::array<TargetSlot, kTargetCount + 1> slots;
    int32_t max_frame = 0;
};

struct SourceEdit {
    SourceSetup other;
};

using EditChange = std::variant<KeyEdit, MaxFrameEdit, TargetEdit, SourceEdit>;

struct EditStep {
    EditChange change;
    WeightView before;
    WeightView after;
};

// The change of an edit about to replace target slot k (1..8) or the whole source: takes the
// slot's (or every slot's and the mesh's) arrays out of the session into the change. Call it
// right before install_target, remove_target or install_source, which must follow: until then
// the session lacks what was taken.
TargetEdit move_out_target(EditorState& state, int k);
SourceEdit move_out_source(EditorState& state);

// Brings the session back to before the step (undo) or after it (redo): the change, then the
// current frame and the slots' weights of the matching view. Objects swap sides with the step.
// The modified flag is left to the caller, which knows the saved state.
void undo_step(EditorState& state, EditStep& step);
void redo_step(EditorState& state, EditStep& step);

// Bytes of memory the step holds (its arrays' capacity and its texts), whichever side it holds.
size_t held_bytes(const EditStep& step);

// The most the steps of a history may hold together.
constexpr size_t kHistoryMemoryCap = size_t{256} << 20;

// How many steps to let go at each end so that what the rest hold stays within `cap`. `held`
// gives each step's bytes, oldest first; steps below `index` are done, the others undone. The
// oldest done steps go first, then the undone steps furthest from the index; a single step
// larger than the cap goes as well.
struct HistoryTrim {
    size_t oldest = 0;
    size_t newest = 0;
};
HistoryTrim trim_history(const std::vector<size_t>& held, size_t index, size_t cap);

}  // namespace warpkit

#pragma once
// Where the timeline strip marks the keys: one tick per knob position that some loaded
// target's key falls on, those of the target being edited apart, and whether keys lie past
// the maximum frame, where no knob position shows them.
#include <vector>

#include "base/editor_state.h"

namespace warpkit {

struct KeyMarks {
    // Knob left edges (knob_left of the key's frame) of every key of a loaded target within
    // 0 .. maximum frame, ascending, each once.
    std::vector<int> lefts;
    // The same for the keys of `current_target` alone.
    std::vector<int> current_lefts;
    bool past_maximum = false;          // some loaded target has a key past the maximum frame
    bool current_past_maximum = false;  // `current_target` has one
};

// The marks of the session's keys; `current_target` is 1..8, or 0 when no target is edited.
KeyMarks key_marks(const EditorState& state, int current_target);

}  // namespace warpkit

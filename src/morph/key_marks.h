#pragma once
// Where the timeline strip marks the keys: one tick per knob position that some loaded
// target's key falls on, those of the target being edited apart, and whether keys lie past
// the maximum frame, where no knob position shows them.
#include <cstdint>
#include <string>
#include <vector>

#include "base/editor_state.h"

namespace warpkit {

// One knob position that holds keys. On a long timeline one pixel stands for many frames, so a
// tick knows the lowest and highest keyed frame it covers rather than each of them.
struct KeyTick {
    int left = 0;  // knob_left of its frames
    int32_t first_frame = 0;
    int32_t last_frame = 0;
    uint16_t targets = 0;  // bit k: target k has a key here

    bool operator==(const KeyTick& o) const {
        return left == o.left && first_frame == o.first_frame && last_frame == o.last_frame &&
               targets == o.targets;
    }
};

struct KeyMarks {
    // Every knob position with a key of a loaded target within 0 .. maximum frame, ascending.
    std::vector<KeyTick> ticks;
    // Knob left edges of the keys of `current_target` alone, ascending, each once.
    std::vector<int> current_lefts;
    bool past_maximum = false;          // some loaded target has a key past the maximum frame
    bool current_past_maximum = false;  // `current_target` has one

    bool operator==(const KeyMarks& o) const {
        return ticks == o.ticks && current_lefts == o.current_lefts &&
               past_maximum == o.past_maximum && current_past_maximum == o.current_past_maximum;
    }
};

// The marks of the session's keys; `current_target` is 1..8, or 0 when no target is edited.
KeyMarks key_marks(const EditorState& state, int current_target);

// What a tick's tooltip says, in the session's language: its frame (or frames) and the targets
// keyed there by number and object name.
std::string key_tick_tip(const EditorState& state, const KeyTick& tick);

}  // namespace warpkit

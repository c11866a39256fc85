#include "morph/key_marks.h"

#include "morph/frame_steps.h"

namespace warpkit {

namespace {

// A long track has many keys per pixel, so keys are gathered by pixel, not listed one by one.
struct PixelSet {
    std::vector<bool> marked = std::vector<bool>(kKnobTravel + 1, false);
    void add(int left) { marked[static_cast<size_t>(left - kKnobFirstLeft)] = true; }
    std::vector<int> lefts() const {
        std::vector<int> out;
        for (size_t i = 0; i < marked.size(); ++i) {
            if (marked[i]) out.push_back(static_cast<int>(i) + kKnobFirstLeft);
        }
        return out;
    }
};

}  // namespace

KeyMarks key_marks(const EditorState& state, int current_target) {
    KeyMarks marks;
    PixelSet all, current;
    if (state.source_loaded()) {
        for (int k = 1; k <= kTargetCount; ++k) {
            if (!state.target_loaded(k)) continue;
            const bool is_current = k == current_target;
            for (const int32_t frame : state.slots[k].keys.frames) {
                if (frame > state.max_frame) {
                    marks.past_maximum = true;
                    marks.current_past_maximum |= is_current;
                    continue;
                }
                const int left = knob_left(frame, state.max_frame);
                all.add(left);
                if (is_current) current.add(left);
            }
        }
    }
    marks.lefts = all.lefts();
    marks.current_lefts = current.lefts();
    return marks;
}

}  // namespace warpkit

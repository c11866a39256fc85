#include "morph/key_marks.h"

#include <algorithm>

#include "base/display_text.h"
#include "base/texts.h"
#include "morph/frame_steps.h"

namespace warpkit {

namespace {

// A long track has many keys per pixel, so keys are gathered by pixel, not listed one by one.
struct PixelSet {
    std::vector<KeyTick> pixels = std::vector<KeyTick>(kKnobTravel + 1);
    void add(int left, int32_t frame, int target) {
        KeyTick& tick = pixels[static_cast<size_t>(left - kKnobFirstLeft)];
        if (tick.targets == 0) {
            tick.left = left;
            tick.first_frame = tick.last_frame = frame;
        } else {
            tick.first_frame = std::min(tick.first_frame, frame);
            tick.last_frame = std::max(tick.last_frame, frame);
        }
        tick.targets |= static_cast<uint16_t>(1u << target);
    }
    std::vector<KeyTick> ticks() const {
        std::vector<KeyTick> out;
        for (const KeyTick& tick : pixels) {
            if (tick.targets != 0) out.push_back(tick);
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
                all.add(left, frame, k);
                if (is_current) current.add(left, frame, k);
            }
        }
    }
    marks.ticks = all.ticks();
    for (const KeyTick& tick : current.ticks()) marks.current_lefts.push_back(tick.left);
    return marks;
}

std::string key_tick_tip(const EditorState& state, const KeyTick& tick) {
    std::string targets;
    for (int k = 1; k <= kTargetCount; ++k) {
        if ((tick.targets & (1u << k)) == 0) continue;
        targets +=
            "\n" + format_text(texts::kTargetLabel, k) + ": " + display_text(state.slots[k].name);
    }
    if (tick.first_frame == tick.last_frame) {
        return format_text(pick(state.UiLanguage, texts::kKeyTickTip), tick.first_frame,
                           targets.c_str());
    }
    return format_text(pick(state.UiLanguage, texts::kKeyTickRangeTip), tick.first_frame,
                       tick.last_frame, targets.c_str());
}

}  // namespace warpkit

#include "morph/frame_steps.h"

#include <algorithm>

namespace warpkit {

int32_t frame_after_forward_step(int32_t current, int32_t max_frame) {
    const int64_t next = int64_t{current} + 1;
    return next > max_frame ? 0 : static_cast<int32_t>(next);
}

int32_t frame_after_backward_step(int32_t current, int32_t max_frame) {
    const int64_t next = int64_t{current} - 1;
    return next < 0 ? max_frame : static_cast<int32_t>(next);
}

int knob_left(int32_t current, int32_t max_frame) {
    const int64_t maximum = std::max<int64_t>(max_frame, 1);
    const int64_t frame = std::clamp<int64_t>(current, 0, maximum);
    return static_cast<int>(frame * kKnobTravel / maximum) + kKnobFirstLeft;
}

int32_t frame_for_knob_drag(int32_t max_frame, int32_t frame_at_press, int32_t dx) {
    const int64_t reached =
        (int64_t{max_frame} * dx + int64_t{kKnobTravel} * frame_at_press) / kKnobTravel;
    return static_cast<int32_t>(std::clamp<int64_t>(reached, 0, std::max(max_frame, 0)));
}

}  // namespace warpkit

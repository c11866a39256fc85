#pragma once
// Frame arithmetic of the timeline: playback steps, the knob's place and the frame a knob drag
// reaches. Frames are int32 up to 2^31 - 1, so every sum and product is taken in 64 bits and
// only a result inside 0 .. maximum frame is narrowed again.
#include <cstdint>

namespace warpkit {

// Pixels the knob's left edge travels from frame 0 to the maximum frame, and where it starts.
constexpr int kKnobTravel = 700;
constexpr int kKnobFirstLeft = 4;

// One forward playback step: current + 1, or 0 once that passes the maximum frame.
int32_t frame_after_forward_step(int32_t current, int32_t max_frame);
// One backward playback step: current - 1, or the maximum frame once that falls below 0.
int32_t frame_after_backward_step(int32_t current, int32_t max_frame);

// The knob's left edge: floor(current x 700 / maximum) + 4, exact. A maximum below 1 counts as
// 1 and the frame is first brought into 0 .. maximum, so the edge lies within 4 .. 704.
int knob_left(int32_t current, int32_t max_frame);

// The frame a left drag of the knob reaches after dx pixels from the frame it was pressed at:
// 700 pixels sweep the whole timeline. The exact quotient (maximum x dx + 700 x press) / 700 is
// truncated toward zero, then clamped to 0 .. maximum.
int32_t frame_for_knob_drag(int32_t max_frame, int32_t frame_at_press, int32_t dx);

}  // namespace warpkit

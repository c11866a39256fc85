#pragma once
// Playback at a chosen number of frames a second: the frame shown follows the time since
// playback started, not the number of ticks, so a slow machine skips frames instead of
// slowing down.
#include <cstdint>

namespace warpkit {

// The rate that keeps the one-frame-per-tick playback, as fast as the machine draws.
constexpr int32_t kAsFastAsPossible = 0;

// When paced playback (re)started, and at which frame.
struct PaceOrigin {
    int64_t time_ns = 0;
    int32_t frame = 0;
};

// The frame to show at `now_ns` at `rate` frames a second (above 0): the origin's frame moved
// by floor(elapsed x rate) frames forward (direction 1) or backward (-1), looping over
// 0 .. max_frame as the one-frame steps do. Time before the origin counts as none.
int32_t paced_frame(const PaceOrigin& origin, int64_t now_ns, int32_t rate, int direction,
                    int32_t max_frame);

}  // namespace warpkit

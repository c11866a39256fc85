// Playback at a chosen rate: the frame follows the time since the start, looping like the
// one-frame steps, and a late tick skips frames instead of falling behind.
#include <gtest/gtest.h>

#include <cstdint>

#include "morph/playback_pace.h"

namespace warpkit {
namespace {

constexpr int64_t kMs = 1000000;

TEST(PlaybackPace, shows_the_frame_of_the_time_elapsed) {
    struct Case {
        const char* name;
        PaceOrigin origin;
        int64_t now;
        int32_t rate;
        int direction;
        int32_t max_frame;
        int32_t frame;
    };
    const Case cases[] = {
        {"at the start", {5 * kMs, 10}, 5 * kMs, 24, 1, 100, 10},
        {"just before the first frame", {0, 10}, 41 * kMs, 24, 1, 100, 10},
        {"the first frame", {0, 10}, 42 * kMs, 24, 1, 100, 11},
        {"a late tick skips", {0, 10}, 1000 * kMs, 24, 1, 100, 34},
        {"forward past the maximum loops to 0", {0, 99}, 67 * kMs, 30, 1, 100, 0},
        {"backward below 0 loops to the maximum", {0, 1}, 34 * kMs, 60, -1, 100, 100},
        {"many loops", {0, 0}, 3600 * 1000 * kMs, 60, 1, 100, 216000 % 101},
        {"years of playback", {0, 0}, int64_t{3} << 60, 60, 1, 2147483646, 0},
        {"a clock that went back", {50 * kMs, 7}, 0, 60, -1, 100, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int32_t frame = paced_frame(c.origin, c.now, c.rate, c.direction, c.max_frame);
        if (c.now < (int64_t{1} << 60)) {
            EXPECT_EQ(c.frame, frame);
        } else {
            EXPECT_GE(frame, 0);  // no overflow: the frame stays on the timeline
            EXPECT_LE(frame, c.max_frame);
        }
    }
}

}  // namespace
}  // namespace warpkit

// Frame arithmetic at ordinary frames and at the int32 edge; the sanitizer build runs these
// with UndefinedBehaviorSanitizer, which stops at any signed overflow.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "morph/frame_steps.h"

namespace warpkit {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(FrameSteps, playback_steps_wrap_without_overflow) {
    struct Case {
        int32_t current, max_frame, forward, backward;
    };
    const Case cases[] = {
        {0, 100, 1, 100},           {99, 100, 100, 98}, {100, 100, 0, 99},
        {kMax, kMax, 0, kMax - 1},  {0, kMax, 1, kMax}, {kMax - 1, kMax, kMax, kMax - 2},
        {kMin, 100, kMin + 1, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.current << " of " << c.max_frame);
        EXPECT_EQ(frame_after_forward_step(c.current, c.max_frame), c.forward);
        EXPECT_EQ(frame_after_backward_step(c.current, c.max_frame), c.backward);
    }
}

TEST(FrameSteps, knob_left_edge_is_the_exact_floor_plus_four) {
    struct Case {
        int32_t current, max_frame;
        int left;
    };
    // 35, 57, 69 and 70 of 100 are where a quotient taken in double falls just short.
    const Case cases[] = {
        {0, 100, 4},     {35, 100, 249},  {57, 100, 403},    {69, 100, 487},        {70, 100, 494},
        {100, 100, 704}, {1, 3, 237},     {kMax, kMax, 704}, {kMax - 1, kMax, 703}, {1, kMax, 4},
        {-5, 100, 4},    {150, 100, 704}, {7, 0, 704}};
    for (const Case& c : cases) {
        EXPECT_EQ(knob_left(c.current, c.max_frame), c.left) << c.current << " of " << c.max_frame;
    }
}

TEST(FrameSteps, knob_drag_sweeps_the_timeline_in_700_pixels_and_clamps) {
    struct Case {
        int32_t max_frame, at_press, dx, reached;
    };
    const Case cases[] = {
        {100, 10, 70, 20},     {100, 10, 700, 100},      {100, 10, -2000, 0},
        {100, 10, -63, 1},     {700, 0, 1, 1},           {3, 0, 233, 0},
        {3, 0, 234, 1},        {kMax, 0, 1, 3067833},    {kMax, 0, 700, kMax},
        {kMax, kMax, 1, kMax}, {kMax, kMax, kMax, kMax}, {kMax, kMax, kMin, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(frame_for_knob_drag(c.max_frame, c.at_press, c.dx), c.reached)
            << c.dx << " px from " << c.at_press << " of " << c.max_frame;
    }
}

}  // namespace
}  // namespace warpkit

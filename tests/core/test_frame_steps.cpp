// Frame arithmetic at ordinary frames and at the int32 edge; the sanitizer build runs these
// with UndefinedBehaviorSanitizer, which stops at any signed overflow.
#include <gtest/gtest.h>

#include <limits>

#include "morph/frame_steps.h"

namespace warpkit {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

TEST(FrameSteps, playback_steps_wrap_without_overflow) {
    const int32_t cases[][4] = {// current, maximum, forward, backward
                                {0, 100, 1, 100},
                                {100, 100, 0, 99},
                                {kMax, kMax, 0, kMax - 1},
                                {0, kMax, 1, kMax}};
    for (const auto& c : cases) {
        EXPECT_EQ(frame_after_forward_step(c[0], c[1]), c[2]) << c[0] << " of " << c[1];
        EXPECT_EQ(frame_after_backward_step(c[0], c[1]), c[3]) << c[0] << " of " << c[1];
    }
}

TEST(FrameSteps, knob_place_is_exact_and_knob_drag_sweeps_700_pixels) {
    // 35, 57, 69 and 70 of 100 are where a quotient taken in double falls a pixel short.
    const int32_t places[][3] = {{35, 100, 249}, {57, 100, 403},    {69, 100, 487},
                                 {70, 100, 494}, {kMax, kMax, 704}, {kMax - 1, kMax, 703},
                                 {7, 0, 704}};
    for (const auto& c : places) EXPECT_EQ(knob_left(c[0], c[1]), c[2]) << c[0] << " of " << c[1];
    const int32_t drags[][4] = {
        // maximum, frame at press, dx, frame reached
        {100, 10, 70, 20},     {100, 10, -2000, 0},
        {700, 0, 1, 1},        {kMax, 0, 1, 3067833},
        {kMax, kMax, 1, kMax}, {kMax, kMax, std::numeric_limits<int32_t>::min(), 0}};
    for (const auto& c : drags) EXPECT_EQ(frame_for_knob_drag(c[0], c[1], c[2]), c[3]) << c[2];
}

}  // namespace
}  // namespace warpkit

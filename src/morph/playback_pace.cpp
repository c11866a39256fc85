#include "morph/playback_pace.h"

#include <algorithm>
#include <cassert>

namespace warpkit {

int32_t paced_frame(const PaceOrigin& origin, int64_t now_ns, int32_t rate, int direction,
                    int32_t max_frame) {
    assert(rate > 0 && (direction == 1 || direction == -1));
    constexpr int64_t kSecond = 1000000000;
    const int64_t elapsed = std::max<int64_t>(now_ns - origin.time_ns, 0);
    // Whole seconds and the rest apart, so that years of playback cannot overflow.
    const int64_t frames = elapsed / kSecond * rate + elapsed % kSecond * rate / kSecond;
    const int64_t period = int64_t{std::max(max_frame, 0)} + 1;
    const int64_t start = std::clamp<int64_t>(origin.frame, 0, period - 1);
    const int64_t moved = direction * (frames % period);
    return static_cast<int32_t>(((start + moved) % period + period) % period);
}

}  // namespace warpkit

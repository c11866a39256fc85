// Arrays sized for huge pages hold what a plain resize gives them, growing from any size and
// shrinking, below and above the size from which the pages are asked for.
#include <gtest/gtest.h>

#include "base/geometry.h"
#include "base/large_arrays.h"

namespace warpkit {
namespace {

TEST(LargeArrays, resizing_keeps_the_elements_and_zeroes_the_new_ones) {
    const size_t large = kHugePageArrayBytes / sizeof(Vec3) + 5;
    const size_t sizes[][2] = {{0, large}, {3, large}, {large, 2 * large}, {large, 3}, {3, 10}};
    for (const auto& [from, to] : sizes) {
        SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(to));
        std::vector<Vec3> array(from);
        for (size_t i = 0; i < from; ++i) array[i] = Vec3{1.0f * i, 2.0f, 3.0f};
        resize_large(array, to);
        ASSERT_EQ(array.size(), to);
        for (size_t i = 0; i < to; ++i) {
            const Vec3 wanted = i < from ? Vec3{1.0f * i, 2.0f, 3.0f} : Vec3{};
            ASSERT_TRUE(array[i].x == wanted.x && array[i].y == wanted.y && array[i].z == wanted.z)
                << i;
        }
    }
}

}  // namespace
}  // namespace warpkit

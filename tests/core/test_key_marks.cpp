// Where the timeline marks keys: under the knob's left edge for the key's frame, one mark per
// pixel, the edited target's apart, and keys past the maximum told rather than drawn.
#include <gtest/gtest.h>

#include <vector>

#include "app/session.h"
#include "morph/key_marks.h"

namespace warpkit {
namespace {

TEST(KeyMarks, lie_under_the_knob_for_each_keyed_frame_of_a_loaded_target) {
    struct Case {
        const char* name;
        int32_t max_frame;
        std::vector<int32_t> frames1, frames3;  // keys of targets 1 and 3 (target 2 is empty)
        int current;
        std::vector<int> lefts, current_lefts;
        bool past, current_past;
    };
    const Case cases[] = {
        {"two targets", 100, {0, 50}, {0, 100}, 0, {4, 354, 704}, {}, false, false},
        {"the edited target's own",
         100,
         {0, 50},
         {0, 100},
         3,
         {4, 354, 704},
         {4, 704},
         false,
         false},
        {"frames sharing a pixel",
         7000,
         {0, 9, 10, 11},
         {0},
         1,
         {4, 4, 5},
         {4, 4, 5},
         false,
         false},
        {"past the maximum", 40, {0, 20, 60}, {0}, 1, {4, 354}, {4, 354}, true, true},
        {"another target's past the maximum", 40, {0, 60}, {0}, 3, {4}, {4}, true, false},
        {"an empty slot edited", 2147483647, {0, 2147483647}, {0}, 2, {4, 704}, {}, false, false},
    };
    ReadResult object;
    object.vertices = {{0, 0, 0}};
    object.vertex_count = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EditorState state;
        install_source(state, "s.qxm", object);
        install_target(state, 1, "a.qxm", object);
        install_target(state, 3, "b.qxm", object);
        state.slots[1].keys.frames = c.frames1;
        state.slots[3].keys.frames = c.frames3;
        state.slots[2].keys.frames = {0, 30};  // stale keys of an emptied slot
        state.max_frame = c.max_frame;
        const KeyMarks marks = key_marks(state, c.current);
        std::vector<int> lefts = c.lefts, current_lefts = c.current_lefts;
        // A pixel is marked once, however many frames fall on it.
        for (std::vector<int>* list : {&lefts, &current_lefts}) {
            list->erase(std::unique(list->begin(), list->end()), list->end());
        }
        EXPECT_EQ(lefts, marks.lefts);
        EXPECT_EQ(current_lefts, marks.current_lefts);
        EXPECT_EQ(c.past, marks.past_maximum);
        EXPECT_EQ(c.current_past, marks.current_past_maximum);
    }
}

}  // namespace
}  // namespace warpkit

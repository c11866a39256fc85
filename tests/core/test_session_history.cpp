// Undo steps without a window: objects move between the session and the step instead of being
// copied, a held mesh keeps only what cannot be rebuilt, and the history lets go of the right
// steps when it holds too much. (Undoing each kind of edit is tested through the window.)
#include <gtest/gtest.h>

#include <vector>

#include "session/session.h"
#include "session/session_history.h"

namespace warpkit {
namespace {

TEST(SessionHistory, objects_move_into_the_step_and_only_what_cannot_be_rebuilt_is_held) {
    // A source of 6 vertices and 2 triangles, and two targets.
    ReadResult object;
    object.vertices.resize(6);
    object.vertex_count = 6;
    object.triangles = {make_triangle(0, 1, 2), make_triangle(3, 4, 5)};
    object.triangle_count = 2;
    EditorState state;
    install_source(state, "/m/base.qxm", object);
    install_target(state, 1, "/m/up.qxm", object);
    install_target(state, 2, "/m/down.qxm", object);

    const Vec3* offsets = state.slots[2].vertices.data();
    TargetEdit target = move_out_target(state, 2);
    EXPECT_EQ(offsets, target.other.vertices.data());

    const Vec3* source = state.slots[0].vertices.data();
    const Triangle* triangles = state.mesh.triangles.data();
    EditStep step;
    step.change = move_out_source(state);
    const SourceSetup& held = std::get<SourceEdit>(step.change).other;
    EXPECT_EQ(source, held.slots[0].vertices.data());
    EXPECT_EQ(triangles, held.mesh.triangles.data());
    EXPECT_EQ(0u, held.mesh.displayed.capacity() + held.mesh.face_normals.capacity() +
                      held.mesh.triangle_list.capacity() + held.mesh.vertex_normals.capacity());
    EXPECT_GE(held_bytes(step), sizeof(EditStep) + 2 * 6 * sizeof(Vec3) + 2 * sizeof(Triangle));
}

TEST(SessionHistory, trimming_lets_the_oldest_done_steps_go_first) {
    struct Case {
        const char* name;
        std::vector<size_t> held;
        size_t index;
        size_t cap;
        size_t oldest, newest;
    };
    const Case cases[] = {
        {"within the cap", {10, 20, 30}, 3, 60, 0, 0},
        {"oldest done steps", {10, 20, 30, 5}, 4, 40, 2, 0},
        {"undone steps stay while done ones can go", {30, 30, 10}, 1, 40, 1, 0},
        {"then the furthest undone", {30, 30, 10}, 0, 40, 0, 2},
        {"a step larger than the cap", {5, 100}, 2, 50, 2, 0},
        {"nothing held", {}, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HistoryTrim trim = trim_history(c.held, c.index, c.cap);
        EXPECT_EQ(c.oldest, trim.oldest);
        EXPECT_EQ(c.newest, trim.newest);
    }
}

}  // namespace
}  // namespace warpkit

// What loading and removing objects does to the session, without a window.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "session/session.h"

namespace warpkit {
namespace {

ReadResult object(const std::string& name, std::vector<Vec3> vertices,
                  std::vector<Triangle> triangles = {}) {
    ReadResult r;
    r.object_name = name;
    r.vertices = std::move(vertices);
    r.triangles = std::move(triangles);
    r.vertex_count = static_cast<int32_t>(r.vertices.size());
    r.triangle_count = static_cast<int32_t>(r.triangles.size());
    r.colour_count = 2;
    r.red = {10, 200};
    r.green = {20, 210};
    r.blue = {30, 220};
    return r;
}

// A quad of four vertices and two triangles.
ReadResult quad(const std::string& name = "quad") {
    return object(name, {{0.1f, 0.2f, 0.3f}, {1.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 0.0f}, {0, 1, 0}},
                  {make_triangle(0, 1, 2, 0), make_triangle(0, 2, 3, 1)});
}

// The quad with every vertex moved, and triangles of its own that must not count.
ReadResult moved_quad(const std::string& name, float d) {
    ReadResult r = quad(name);
    for (Vec3& v : r.vertices) {
        v.x += d;
        v.y -= 2.0f * d;
        v.z += 0.7f * d;
    }
    r.triangles = {make_triangle(3, 2, 1, 1)};
    r.triangle_count = 1;
    return r;
}

void expect_empty_target(const EditorState& state, int k) {
    SCOPED_TRACE("target " + std::to_string(k));
    EXPECT_EQ(state.slots[k].loaded, 0);
    EXPECT_TRUE(state.slots[k].vertices.empty());
    EXPECT_EQ(state.slots[k].keys.count(), 0);
    EXPECT_TRUE(state.slots[k].keys.weights.empty());
}

// What may go into a slot, as source or as target of the quad: the first fault named, the
// name that a project could not record noted without refusing.
TEST(SlotChecks, refuse_what_cannot_be_drawn_and_note_names_no_project_can_record) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* what;
        bool as_target;
        ReadResult object;
        SlotRefusal refusal;
        std::string reason;  // English
        bool name_recordable;
    };
    auto with_vertex = [](ReadResult r, size_t i, Vec3 v) {
        r.vertices[i] = v;
        return r;
    };
    ReadResult no_vertices = object("none", {});
    const std::vector<Case> cases = {
        {"source without vertices", false, no_vertices, SlotRefusal::kNoVertices, "", true},
        {"source, NaN", false, with_vertex(quad(), 2, {1, nan, 0}), SlotRefusal::kNonFiniteVertex,
         "the coordinates of vertex 2 are not all finite numbers: (1, nan, 0)", true},
        {"source, first of two faults", false,
         with_vertex(with_vertex(quad(), 3, {inf, 0, 0}), 1, {0, 0, -inf}),
         SlotRefusal::kNonFiniteVertex,
         "the coordinates of vertex 1 are not all finite numbers: (0, 0, -inf)", true},
        {"source named with a blank", false, quad("my quad"), SlotRefusal::kNone, "", false},
        {"source without a name", false, quad(""), SlotRefusal::kNone, "", false},
        {"target", true, moved_quad("t", 2.0f), SlotRefusal::kNone, "", true},
        {"target, infinity", true, with_vertex(moved_quad("t", 1.0f), 0, {inf, 0, 0}),
         SlotRefusal::kNonFiniteVertex,
         "the coordinates of vertex 0 are not all finite numbers: (inf, 0, 0)", true},
        {"target whose offset overflows", true, with_vertex(quad(), 3, {0, -3e38f, 0}),
         SlotRefusal::kNonFiniteOffset,
         "the offset of vertex 3 from the source is not finite: (0, -inf, 0)", true},
        {"target named with a tab", true, moved_quad("a\tb", 1.0f), SlotRefusal::kNone, "", false},
    };
    const std::vector<Vec3> source =
        with_vertex(quad(), 3, {0, 3e38f, 0}).vertices;  // far enough for an overflow
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SlotCheck check =
            c.as_target ? check_target_object(source, c.object) : check_source_object(c.object);
        EXPECT_EQ(check.refusal, c.refusal);
        EXPECT_EQ(check.reason().en, c.reason);
        EXPECT_EQ(check.reason().ja.empty(), c.reason.empty());
        if (check.ok()) {
            EXPECT_EQ(check.name_recordable, c.name_recordable);
        }
    }
}

TEST(InstallSource, takes_positions_names_and_counts_and_marks_the_session_modified) {
    EditorState state;
    const std::string path = "/models/heads/quad.qxm";
    install_source(state, path, quad("face"));

    EXPECT_TRUE(state.source_loaded());
    EXPECT_EQ(state.slots[0].path, path);
    EXPECT_EQ(state.slots[0].name, "face");
    EXPECT_EQ(state.vertex_count, 4);
    EXPECT_EQ(state.triangle_count, 2);
    ASSERT_EQ(state.slots[0].vertices.size(), 4u);
    EXPECT_EQ(state.slots[0].vertices[0].x, 0.1f);
    EXPECT_EQ(state.slots[0].vertices[0].z, 0.3f);
    // The mesh is built and the shown shape starts as the source.
    ASSERT_EQ(state.mesh.displayed.size(), 4u);
    EXPECT_EQ(state.mesh.displayed[0].y, 0.2f);
    EXPECT_EQ(state.mesh.triangles.size(), 2u);
    EXPECT_EQ(state.yaw, -30.0f);
    EXPECT_EQ(state.pitch, -10.0f);
    EXPECT_EQ(state.modified, 1);
}

TEST(InstallSource, keeps_a_path_longer_than_the_old_field_whole) {
    EditorState state;
    std::string path = "/";
    while (path.size() < 600) path += "a-long-folder-name/";
    path += "quad.qxm";
    install_source(state, path, quad());
    EXPECT_EQ(state.slots[0].path, path);
}

TEST(InstallSource, accepts_an_object_without_triangles) {
    EditorState state;
    install_source(state, "/m/points.qxm", object("points", {{0, 0, 0}, {2, 0, 0}}));
    EXPECT_TRUE(state.source_loaded());
    EXPECT_EQ(state.vertex_count, 2);
    EXPECT_EQ(state.triangle_count, 0);
    EXPECT_TRUE(state.mesh.triangles.empty());
    EXPECT_EQ(state.mesh.displayed.size(), 2u);
}

TEST(InstallSource, a_new_source_empties_every_target_and_keeps_frames_and_display) {
    EditorState state;
    install_source(state, "/m/quad.qxm", quad());
    for (int k : {1, 4, 8}) install_target(state, k, "/m/t.qxm", moved_quad("t", 0.5f * k));
    state.slots[4].keys.frames = {0, 10, 20};
    state.slots[4].keys.weights = {0.0f, 50.0f, 100.0f};
    state.current_frame = 15;
    state.max_frame = 40;
    state.ShadingMode = kSmooth;
    state.modified = 0;

    const ReadResult bigger = object("tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {6, 6, 6}},
                                     {make_triangle(0, 1, 2)});
    install_source(state, "/m/tri.qxm", bigger);

    for (int k = 1; k <= kTargetCount; ++k) expect_empty_target(state, k);
    EXPECT_EQ(state.slots[0].name, "tri");
    EXPECT_EQ(state.vertex_count, 5);
    EXPECT_EQ(state.triangle_count, 1);
    EXPECT_EQ(state.mesh.displayed.size(), 5u);
    EXPECT_EQ(state.current_frame, 15);
    EXPECT_EQ(state.max_frame, 40);
    EXPECT_EQ(state.ShadingMode, kSmooth);
    EXPECT_EQ(state.modified, 1);
}

TEST(InstallTarget, stores_target_minus_source_in_float_per_vertex_and_axis) {
    EditorState state;
    const ReadResult source = quad();
    install_source(state, "/m/quad.qxm", source);
    state.modified = 0;
    const ReadResult target = moved_quad("smile", 0.3f);
    install_target(state, 2, "/m/smile.qxm", target);

    const TargetSlot& slot = state.slots[2];
    EXPECT_EQ(slot.loaded, 1);
    EXPECT_EQ(slot.path, "/m/smile.qxm");
    EXPECT_EQ(slot.name, "smile");
    ASSERT_EQ(slot.vertices.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE("vertex " + std::to_string(i));
        // Exact float differences: the offset is never computed in double and rounded later.
        const float dx = target.vertices[i].x - source.vertices[i].x;
        const float dy = target.vertices[i].y - source.vertices[i].y;
        const float dz = target.vertices[i].z - source.vertices[i].z;
        EXPECT_EQ(slot.vertices[i].x, dx);
        EXPECT_EQ(slot.vertices[i].y, dy);
        EXPECT_EQ(slot.vertices[i].z, dz);
    }
    // Only the positions count: the source's triangles stay the shape's triangles.
    ASSERT_EQ(state.mesh.triangles.size(), 2u);
    EXPECT_EQ(state.mesh.triangles[1].v[2], 3);
    EXPECT_EQ(state.modified, 1);
}

TEST(InstallTarget, gives_one_key_at_frame_zero_and_leaves_the_weight_alone) {
    EditorState state;
    install_source(state, "/m/quad.qxm", quad());
    state.slots[5].weight = 37.0f;
    install_target(state, 5, "/m/a.qxm", moved_quad("a", 1.0f));
    const KeyTrack& keys = state.slots[5].keys;
    ASSERT_EQ(keys.count(), 1);
    ASSERT_EQ(keys.weights.size(), 1u);
    EXPECT_EQ(keys.frames[0], 0);
    EXPECT_EQ(keys.weights[0], 0.0f);
    EXPECT_EQ(state.slots[5].weight, 37.0f);
}

TEST(InstallTarget, reloading_replaces_offsets_and_drops_every_key_but_the_first) {
    EditorState state;
    install_source(state, "/m/quad.qxm", quad());
    install_target(state, 3, "/m/a.qxm", moved_quad("a", 1.0f));
    state.slots[3].keys.frames = {0, 10, 20};
    state.slots[3].keys.weights = {25.0f, 50.0f, 100.0f};

    install_target(state, 3, "/m/b.qxm", moved_quad("b", -2.0f));
    const TargetSlot& slot = state.slots[3];
    EXPECT_EQ(slot.name, "b");
    EXPECT_EQ(slot.path, "/m/b.qxm");
    ASSERT_EQ(slot.vertices.size(), 4u);
    EXPECT_FLOAT_EQ(slot.vertices[1].x, -2.0f);
    EXPECT_FLOAT_EQ(slot.vertices[1].y, 4.0f);
    ASSERT_EQ(slot.keys.count(), 1);
    EXPECT_EQ(slot.keys.frames[0], 0);
    EXPECT_EQ(slot.keys.weights[0], 0.0f);
}

TEST(RemoveTarget, empties_only_that_slot_and_marks_the_session_modified) {
    EditorState state;
    install_source(state, "/m/quad.qxm", quad());
    install_target(state, 3, "/m/a.qxm", moved_quad("a", 1.0f));
    install_target(state, 4, "/m/b.qxm", moved_quad("b", 2.0f));
    state.modified = 0;

    remove_target(state, 3);
    expect_empty_target(state, 3);
    EXPECT_EQ(state.slots[4].loaded, 1);
    EXPECT_EQ(state.slots[4].vertices.size(), 4u);
    EXPECT_EQ(state.slots[4].keys.count(), 1);
    EXPECT_TRUE(state.source_loaded());
    EXPECT_EQ(state.modified, 1);
}

TEST(ClearSession, empties_every_slot_and_clears_the_modified_flag_keeping_frames_and_folders) {
    EditorState state;
    install_source(state, "/m/quad.qxm", quad());
    install_target(state, 1, "/m/a.qxm", moved_quad("a", 1.0f));
    install_target(state, 8, "/m/b.qxm", moved_quad("b", 2.0f));
    state.current_frame = 7;
    state.max_frame = 50;
    state.object_folder = "/m/objects";
    state.project_folder = "/m/projects";

    clear_session(state);
    EXPECT_FALSE(state.source_loaded());
    EXPECT_TRUE(state.slots[0].vertices.empty());
    EXPECT_EQ(state.vertex_count, 0);
    EXPECT_EQ(state.triangle_count, 0);
    EXPECT_TRUE(state.mesh.triangles.empty());
    for (int k = 1; k <= kTargetCount; ++k) expect_empty_target(state, k);
    EXPECT_EQ(state.modified, 0);
    EXPECT_EQ(state.current_frame, 7);
    EXPECT_EQ(state.max_frame, 50);
    EXPECT_EQ(state.object_folder, "/m/objects");
    EXPECT_EQ(state.project_folder, "/m/projects");

    // The session can take a source again afterwards.
    install_source(state, "/m/quad.qxm", quad());
    EXPECT_TRUE(state.source_loaded());
    EXPECT_EQ(state.mesh.displayed.size(), 4u);
}

}  // namespace
}  // namespace warpkit

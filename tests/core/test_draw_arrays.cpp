#include <gtest/gtest.h>

#include <algorithm>

#include "model/draw_arrays.h"
#include "model/normals.h"
#include "model/object_mesh.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

// The source set up as a load does (counts taken from its arrays).
void load(EditorState& state, ReadResult source) {
    source.vertex_count = static_cast<int32_t>(source.vertices.size());
    source.triangle_count = static_cast<int32_t>(source.triangles.size());
    source.colour_count = static_cast<int32_t>(source.red.size());
    state.vertex_count = source.vertex_count;
    state.triangle_count = source.triangle_count;
    state.slots[0].vertices = source.vertices;
    state.slots[0].loaded = 1;
    InitSource(state, source);
}

// A fan of four triangles around vertex 0 in colours 0, 1, 0 and 7 (beyond the palette of
// three), a triangle naming vertex 5 twice, and vertex 6 used by nothing.
EditorState fan_state() {
    ReadResult source;
    source.vertices = {{0, 0, 0},      {1, 0, 0}, {1, 1, 0.5f}, {0, 1, 0},
                       {-1, 0, 0.25f}, {2, 2, 2}, {9, 9, 9}};
    source.triangles = {make_triangle(0, 1, 2, 0), make_triangle(0, 2, 3, 1),
                        make_triangle(0, 3, 4, 0), make_triangle(0, 4, 1, 7),
                        make_triangle(5, 5, 2, 2)};
    source.red = {255, 0, 0};
    source.green = {0, 255, 0};
    source.blue = {0, 0, 255};
    EditorState state;
    load(state, source);
    state.use_object_colours = 1;
    state.object_colour[0] = 0.25f;
    state.object_colour[1] = 0.5f;
    state.object_colour[2] = 0.75f;
    return state;
}

void expect_colour(const float* rgb, const EditorState& state, int32_t colour, size_t where) {
    const ObjectMesh& mesh = state.mesh;
    const bool in_palette = colour >= 0 && colour < static_cast<int32_t>(mesh.palette_red.size());
    EXPECT_EQ(rgb[0], in_palette ? mesh.palette_red[colour] : state.object_colour[0]) << where;
    EXPECT_EQ(rgb[1], in_palette ? mesh.palette_green[colour] : state.object_colour[1]) << where;
    EXPECT_EQ(rgb[2], in_palette ? mesh.palette_blue[colour] : state.object_colour[2]) << where;
}

void expect_same(const Vec3& a, const Vec3& b, size_t where) {
    EXPECT_EQ(a.x, b.x) << where;
    EXPECT_EQ(a.y, b.y) << where;
    EXPECT_EQ(a.z, b.z) << where;
}

TEST(DrawArrays, every_smooth_corner_is_its_vertex_in_its_triangles_colour) {
    EditorState state = fan_state();
    state.mesh.displayed[2].z = 3.0f;  // a blended shape, not the source
    compute_vertex_normals(state);
    DrawArrays& arrays = draw_arrays_of(state.mesh);
    const ArrayBatch batch = prepare_smooth(arrays, state);

    ASSERT_EQ(batch.index_count, 3 * state.mesh.triangles.size());
    for (size_t k = 0; k < state.mesh.triangles.size(); ++k) {
        const Triangle& t = state.mesh.triangles[k];
        for (int c = 0; c < 3; ++c) {
            const uint32_t corner = batch.indices[3 * k + c];
            const size_t where = 10 * k + c;
            expect_same(batch.positions[corner], state.mesh.displayed[t.v[c]], where);
            expect_same(batch.normals[corner], state.mesh.vertex_normals[t.v[c]], where);
            expect_colour(batch.colours + 3 * corner, state, t.colour, where);
        }
    }
    // Vertices 0 and 2 show in three colours, 1, 3 and 4 in two each: seven copies.
    EXPECT_EQ(arrays.corners.split_vertex.size(), 7u);
}

TEST(DrawArrays, flat_gives_each_triangle_a_last_corner_of_its_own) {
    EditorState state = fan_state();
    compute_face_normals(state);
    const ArrayBatch batch = prepare_flat(draw_arrays_of(state.mesh), state);

    const size_t vertices = state.mesh.displayed.size();
    ASSERT_EQ(batch.index_count, 3 * state.mesh.triangles.size());
    for (size_t k = 0; k < state.mesh.triangles.size(); ++k) {
        const Triangle& t = state.mesh.triangles[k];
        const uint32_t* corners = batch.indices + 3 * k;
        EXPECT_EQ(corners[0], static_cast<uint32_t>(t.v[0]));
        EXPECT_EQ(corners[1], static_cast<uint32_t>(t.v[1]));
        ASSERT_EQ(corners[2], vertices + k);
        expect_same(batch.positions[corners[0]], state.mesh.displayed[t.v[0]], k);
        expect_same(batch.positions[corners[2]], state.mesh.displayed[t.v[2]], k);
        expect_same(batch.normals[corners[2]], state.mesh.face_normals[k], k);
        expect_colour(batch.colours + 3 * corners[2], state, t.colour, k);
    }
}

TEST(DrawArrays, wire_frame_runs_round_each_triangle_in_its_own_order) {
    EditorState state = fan_state();
    DrawArrays& arrays = draw_arrays_of(state.mesh);
    const ArrayBatch batch = prepare_wire_frame(arrays, state);
    ASSERT_EQ(batch.index_count, 6 * state.mesh.triangles.size());
    EXPECT_EQ(batch.normals, nullptr);
    for (size_t k = 0; k < state.mesh.triangles.size(); ++k) {
        const uint32_t* corner = arrays.corners.indices.data() + 3 * k;
        const uint32_t* line = batch.indices + 6 * k;
        EXPECT_EQ((std::vector<uint32_t>(line, line + 6)),
                  (std::vector<uint32_t>{corner[0], corner[1], corner[1], corner[2], corner[2],
                                         corner[0]}));
    }
}

TEST(DrawArrays, one_colour_needs_no_copies_and_the_object_colour_no_colour_array) {
    EditorState state = fan_state();
    state.use_object_colours = 0;
    for (Triangle& t : state.mesh.triangles) t.colour = 1;
    state.mesh.draw_arrays.reset();  // as after a load of these triangles
    compute_vertex_normals(state);
    const ArrayBatch batch = prepare_smooth(draw_arrays_of(state.mesh), state);
    EXPECT_TRUE(state.mesh.draw_arrays->corners.split_vertex.empty());
    EXPECT_EQ(batch.positions, state.mesh.displayed.data());
    EXPECT_EQ(batch.normals, state.mesh.vertex_normals.data());
    EXPECT_EQ(batch.colours, nullptr);
    EXPECT_EQ(batch.colour[1], 0.5f);
}

TEST(DrawArrays, colours_follow_a_new_object_colour_and_a_new_source_gets_a_new_layout) {
    EditorState state = fan_state();
    compute_face_normals(state);
    prepare_flat(draw_arrays_of(state.mesh), state);
    state.object_colour[0] = 1.0f;
    ArrayBatch batch = prepare_flat(draw_arrays_of(state.mesh), state);
    const size_t own_of_triangle_3 = state.mesh.displayed.size() + 3;  // colour 7: the object's
    EXPECT_EQ(batch.colours[3 * own_of_triangle_3], 1.0f);

    ReadResult other;
    other.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    other.triangles = {make_triangle(0, 1, 2, 0)};
    load(state, other);
    EXPECT_EQ(state.mesh.draw_arrays, nullptr);
    compute_face_normals(state);
    batch = prepare_flat(draw_arrays_of(state.mesh), state);
    EXPECT_EQ(batch.index_count, 3u);
}

TEST(DrawArrays, lean_layouts_give_every_triangle_its_corners_normal_and_colour) {
    EditorState state = fan_state();
    state.mesh.displayed[2].z = 3.0f;  // a blended shape, not the source
    compute_vertex_normals(state);
    const std::vector<Triangle>& triangles = state.mesh.triangles;
    for (const LeanLayout layout : {LeanLayout::kFlat, LeanLayout::kCorners}) {
        SCOPED_TRACE(layout == LeanLayout::kFlat ? "flat" : "corners");
        DrawArrays& arrays = draw_arrays_of(state.mesh);
        prepare_lean(arrays, state.mesh, layout, true);
        const ArrayBatch b = lean_batch(arrays, state, true);
        ASSERT_EQ(b.index_count, 3 * triangles.size());
        for (size_t k = 0; k < triangles.size(); ++k) {
            const Triangle& t = triangles[k];
            const uint32_t* corner = b.indices + 3 * k;
            // Flat may start the triangle at another corner, keeping the way round.
            const auto at_turn = [&](int turn) {
                for (int c = 0; c < 3; ++c) {
                    const Vec3& p = b.positions[corner[c]];
                    const Vec3& q = state.mesh.displayed[t.v[(turn + c) % 3]];
                    if (p.x != q.x || p.y != q.y || p.z != q.z) return false;
                }
                return true;
            };
            int turn = 0;
            while (turn < 3 && !at_turn(turn)) ++turn;
            ASSERT_LT(turn, layout == LeanLayout::kFlat ? 3 : 1) << "triangle " << k;
            for (int c = 0; c < 3 && layout == LeanLayout::kCorners; ++c) {
                expect_same(b.normals[corner[c]], state.mesh.vertex_normals[t.v[c]], 10 * k + c);
                expect_colour(b.colours + 3 * corner[c], state, t.colour, 10 * k + c);
            }
            // Flat shading shows the last corner's normal and colour: the triangle's own.
            if (layout == LeanLayout::kFlat) {
                EXPECT_EQ(corner[2], k);
                expect_same(b.normals[k], state.mesh.face_normals[k], k);
                expect_colour(b.colours + 3 * k, state, t.colour, k);
            }
        }
    }
}

TEST(DrawArrays, lean_flat_draws_from_the_face_normals_when_every_vertex_finds_a_triangle) {
    // A grid of 4 x 3 cells: 24 triangles on 20 vertices, each vertex the own corner of one.
    const testing::QxmObjectSpec grid = testing::make_grid_object("grid", 4, 3);
    ReadResult source;
    source.vertices = grid.vertices;
    source.triangles = grid.triangles;
    EditorState state;
    load(state, source);
    ASSERT_EQ(state.triangle_count, 24);
    compute_face_normals(state);
    DrawArrays& arrays = draw_arrays_of(state.mesh);
    prepare_lean(arrays, state.mesh, LeanLayout::kFlat, true);
    EXPECT_TRUE(arrays.extra_vertex.empty());
    EXPECT_EQ(lean_batch(arrays, state, true).normals, state.mesh.face_normals.data());
    // The fan of fan_state() has more used vertices than triangles: some get their own.
    EditorState fan = fan_state();
    compute_face_normals(fan);
    DrawArrays& fan_arrays = draw_arrays_of(fan.mesh);
    prepare_lean(fan_arrays, fan.mesh, LeanLayout::kFlat, true);
    EXPECT_EQ(fan_arrays.extra_vertex.size(), 1u);

    // Once GL holds the indices they go; a caller that needs them again gets the same.
    const std::vector<uint32_t> indices = arrays.lean_indices;
    const uint64_t id = arrays.lean_id;
    release_lean_indices(arrays);
    prepare_lean(arrays, state.mesh, LeanLayout::kFlat, false);
    EXPECT_TRUE(arrays.lean_indices.empty());
    EXPECT_EQ(arrays.lean_id, id);
    prepare_lean(arrays, state.mesh, LeanLayout::kFlat, true);
    EXPECT_EQ(arrays.lean_indices, indices);
    EXPECT_NE(arrays.lean_id, id);
    // Another mode's layout replaces it.
    prepare_lean(arrays, state.mesh, LeanLayout::kCorners, true);
    EXPECT_TRUE(arrays.own_vertex.empty());
    EXPECT_TRUE(arrays.lean_positions.empty());
    EXPECT_EQ(arrays.lean_indices.size(), 72u);
}

}  // namespace
}  // namespace warpkit

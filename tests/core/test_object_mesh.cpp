#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "model/normals.h"
#include "model/object_mesh.h"

namespace warpkit {
namespace {

ReadResult make_source(std::vector<Vec3> vertices, std::vector<Triangle> triangles,
                       std::vector<uint8_t> grey = {}) {
    ReadResult r;
    r.vertices = std::move(vertices);
    r.triangles = std::move(triangles);
    r.vertex_count = static_cast<int32_t>(r.vertices.size());
    r.triangle_count = static_cast<int32_t>(r.triangles.size());
    r.colour_count = static_cast<int32_t>(grey.size());
    r.red = grey;
    r.green = grey;
    r.blue = grey;
    return r;
}

// Sets the state up the way a source load does before InitSource.
void load(EditorState& state, const ReadResult& source) {
    state.vertex_count = source.vertex_count;
    state.triangle_count = source.triangle_count;
    state.slots[0].vertices = source.vertices;
    state.slots[0].loaded = 1;
    ASSERT_EQ(InitSource(state, source), 1);
}

void expect_vec(const Vec3& v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

std::vector<int32_t> list_of(const ObjectMesh& mesh, int32_t vertex) {
    return std::vector<int32_t>(mesh.triangle_list.begin() + mesh.list_start[vertex],
                                mesh.triangle_list.begin() + mesh.list_start[vertex + 1]);
}

TEST(ObjectMesh, face_normal_follows_winding_and_is_twice_the_area) {
    const Vec3 o{0, 0, 0}, x1{1, 0, 0}, y1{0, 1, 0}, x2{2, 0, 0}, y2{0, 2, 0};
    expect_vec(face_normal(o, x1, y1), 0, 0, 1);
    expect_vec(face_normal(o, y1, x1), 0, 0, -1);
    expect_vec(face_normal(o, x2, y2), 0, 0, 4);
}

TEST(ObjectMesh, face_normal_rounds_each_difference_to_float) {
    // B.x - A.x = 1 - 1e8 is no float and rounds to -1e8, which cancels the other term of z
    // exactly; an unrounded difference would leave z = 1.
    const Vec3 a{1e8f, 0, 0}, b{1, -1.25e7f, 0}, c{1e8f + 8.0f, 1, 0};
    expect_vec(face_normal(a, b, c), 0, 0, 0);
}

TEST(ObjectMesh, single_triangle_gives_each_vertex_its_normal) {
    EditorState state;
    load(state, make_source({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {make_triangle(0, 1, 2)}));
    compute_vertex_normals(state);
    expect_vec(state.mesh.face_normals[0], 0, 0, 1);
    for (const Vec3& n : state.mesh.vertex_normals) expect_vec(n, 0, 0, 1);
}

TEST(ObjectMesh, degenerate_triangle_and_unused_vertex_have_zero_normals) {
    EditorState state;
    // Triangle 0 is a line (all three points on the x axis); vertex 3 is used by nothing.
    load(state,
         make_source({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {5, 5, 5}}, {make_triangle(0, 1, 2)}));
    compute_vertex_normals(state);
    expect_vec(state.mesh.face_normals[0], 0, 0, 0);
    expect_vec(state.mesh.vertex_normals[3], 0, 0, 0);
    EXPECT_TRUE(list_of(state.mesh, 3).empty());
}

TEST(ObjectMesh, shared_edge_vertices_sum_both_faces) {
    EditorState state;
    // Two triangles of the z = 0 plane sharing the edge 1-2; the second is twice as large.
    load(state, make_source({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 2, 0}},
                            {make_triangle(0, 1, 2), make_triangle(1, 3, 2)}));
    compute_vertex_normals(state);
    expect_vec(state.mesh.face_normals[0], 0, 0, 1);
    expect_vec(state.mesh.face_normals[1], 0, 0, 3);
    expect_vec(state.mesh.vertex_normals[0], 0, 0, 1);
    expect_vec(state.mesh.vertex_normals[1], 0, 0, 4);
    expect_vec(state.mesh.vertex_normals[2], 0, 0, 4);
    expect_vec(state.mesh.vertex_normals[3], 0, 0, 3);
    EXPECT_EQ(list_of(state.mesh, 1), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(list_of(state.mesh, 2), (std::vector<int32_t>{0, 1}));
}

TEST(ObjectMesh, normals_follow_the_displayed_shape_without_reallocating) {
    EditorState state;
    load(state, make_source({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {make_triangle(0, 1, 2)}));
    compute_vertex_normals(state);
    const Vec3* faces = state.mesh.face_normals.data();
    const Vec3* vertices = state.mesh.vertex_normals.data();
    state.mesh.displayed[1] = {3, 0, 0};  // a blend stretches the triangle
    compute_vertex_normals(state);
    EXPECT_EQ(state.mesh.face_normals.data(), faces);
    EXPECT_EQ(state.mesh.vertex_normals.data(), vertices);
    expect_vec(state.mesh.vertex_normals[0], 0, 0, 3);
}

TEST(ObjectMesh, vertex_normals_are_the_sums_over_each_list_in_list_order_bit_for_bit) {
    // Scattered sizes make float sums depend on their order; some triangles repeat a corner.
    std::mt19937 random(5);
    std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f);
    std::uniform_int_distribution<int> scale(-6, 6);
    const int32_t vertex_count = 200;
    std::uniform_int_distribution<int32_t> pick(0, vertex_count - 1);
    std::vector<Vec3> vertices(vertex_count);
    for (Vec3& v : vertices) {
        const float s = std::ldexp(1.0f, scale(random));
        v = {coordinate(random) * s, coordinate(random) * s, coordinate(random) * s};
    }
    std::vector<Triangle> triangles;
    for (int k = 0; k < 1500; ++k) {
        const int32_t a = pick(random);
        triangles.push_back(k % 9 == 0 ? make_triangle(a, a, pick(random))
                                       : make_triangle(a, pick(random), pick(random)));
    }
    EditorState state;
    load(state, make_source(vertices, triangles));
    compute_vertex_normals(state);

    int order_matters = 0;
    for (int32_t i = 0; i < vertex_count; ++i) {
        const std::vector<int32_t> list = list_of(state.mesh, i);
        Vec3 forward, backward;
        for (size_t j = 0; j < list.size(); ++j) {
            const Vec3& f = state.mesh.face_normals[list[j]];
            const Vec3& b = state.mesh.face_normals[list[list.size() - 1 - j]];
            forward = {forward.x + f.x, forward.y + f.y, forward.z + f.z};
            backward = {backward.x + b.x, backward.y + b.y, backward.z + b.z};
        }
        const Vec3& got = state.mesh.vertex_normals[i];
        ASSERT_EQ(got.x, forward.x) << "vertex " << i;
        ASSERT_EQ(got.y, forward.y) << "vertex " << i;
        ASSERT_EQ(got.z, forward.z) << "vertex " << i;
        if (forward.x != backward.x || forward.y != backward.y || forward.z != backward.z) {
            ++order_matters;
        }
    }
    EXPECT_GT(order_matters, 0) << "the data no longer tells the summing orders apart";
}

// Large enough to be split over threads; scattered sizes and repeated corners as above. The
// last `unused_tail` vertices are used by no triangle.
EditorState random_large_mesh(int32_t unused_tail = 20) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f);
    std::uniform_int_distribution<int> scale(-20, 20);
    const int32_t vertex_count = 60000;
    std::uniform_int_distribution<int32_t> pick(0, vertex_count - 1);
    std::uniform_int_distribution<int32_t> near(-40, 40);
    std::vector<Vec3> vertices(vertex_count);
    for (Vec3& v : vertices) {
        const float s = std::ldexp(1.0f, scale(random));
        v = {coordinate(random) * s, coordinate(random) * s, coordinate(random) * s};
    }
    std::vector<Triangle> triangles;
    for (int k = 0; k < 200000; ++k) {
        // Mostly near neighbours, as in real meshes, with some far corners so that the lists
        // of many vertices reach across any split of the triangles.
        const int32_t a = pick(random);
        const auto around = [&] { return std::clamp(a + near(random), 0, vertex_count - 1); };
        if (k % 11 == 0) {
            triangles.push_back(make_triangle(a, a, around()));
        } else if (k % 5 == 0) {
            triangles.push_back(make_triangle(a, pick(random), around()));
        } else {
            triangles.push_back(make_triangle(a, around(), around()));
        }
    }
    // With unused vertices at the end, the final share of vertices ends on empty lists.
    for (Triangle& t : triangles) {
        for (int32_t& v : t.v) v = std::min(v, vertex_count - 1 - unused_tail);
    }
    // A count that is no multiple of four leaves a rest after any grouping of triangles.
    triangles.push_back(make_triangle(vertex_count - 1 - unused_tail, 0, 1));
    EditorState state;
    load(state, make_source(vertices, triangles));
    return state;
}

bool same_bits(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3)) == 0;
}

void expect_faces_by_the_formula(const ObjectMesh& mesh) {
    for (size_t k = 0; k < mesh.triangles.size(); ++k) {
        const Triangle& t = mesh.triangles[k];
        const Vec3 n =
            face_normal(mesh.displayed[t.v[0]], mesh.displayed[t.v[1]], mesh.displayed[t.v[2]]);
        ASSERT_EQ(std::memcmp(&mesh.face_normals[k], &n, sizeof n), 0) << "triangle " << k;
    }
}

void expect_sums_along_the_lists(const ObjectMesh& mesh) {
    for (size_t i = 0; i < mesh.displayed.size(); ++i) {
        Vec3 expected;
        for (int32_t k : list_of(mesh, static_cast<int32_t>(i))) {
            const Vec3& f = mesh.face_normals[k];
            expected = {expected.x + f.x, expected.y + f.y, expected.z + f.z};
        }
        ASSERT_EQ(std::memcmp(&mesh.vertex_normals[i], &expected, sizeof expected), 0)
            << "vertex " << i;
    }
}

void scribble_over_normals(ObjectMesh& mesh) {
    std::fill(mesh.face_normals.begin(), mesh.face_normals.end(), Vec3{7, 7, 7});
    std::fill(mesh.vertex_normals.begin(), mesh.vertex_normals.end(), Vec3{7, 7, 7});
}

// Puts the processor's fastest path back whatever a test ends with.
struct FaceNormalPathGuard {
    ~FaceNormalPathGuard() { set_face_normal_path(FaceNormalPath::kFastest); }
};

TEST(ObjectMesh, large_mesh_normals_do_not_depend_on_the_path_or_the_thread_count) {
    FaceNormalPathGuard guard;
    // Triangles naming the last vertex too, which the grouped path leaves to the single one.
    for (int32_t unused_tail : {20, 0}) {
        EditorState state = random_large_mesh(unused_tail);
        ObjectMesh& mesh = state.mesh;
        set_face_normal_path(FaceNormalPath::kOneAtATime);
        compute_vertex_normals(state, 1);
        expect_faces_by_the_formula(mesh);
        expect_sums_along_the_lists(mesh);
        const std::vector<Vec3> faces = mesh.face_normals;
        const std::vector<Vec3> sums = mesh.vertex_normals;

        for (FaceNormalPath path : {FaceNormalPath::kFastest, FaceNormalPath::kOneAtATime}) {
            set_face_normal_path(path);
            const int path_number = static_cast<int>(path);
            for (int threads : {1, 2, 3, 8}) {
                scribble_over_normals(mesh);
                compute_vertex_normals(state, threads);
                EXPECT_TRUE(same_bits(mesh.face_normals, faces))
                    << "path " << path_number << ", " << threads << " threads";
                EXPECT_TRUE(same_bits(mesh.vertex_normals, sums))
                    << "path " << path_number << ", " << threads << " threads";

                scribble_over_normals(mesh);
                compute_face_normals(state, threads);
                EXPECT_TRUE(same_bits(mesh.face_normals, faces))
                    << "path " << path_number << ", " << threads << " threads, faces only";
            }
        }
    }
}

TEST(ObjectMesh, normals_without_lists_are_the_same_as_along_the_lists) {
    // A state put together by hand may have no lists for its triangles.
    EditorState state = random_large_mesh();
    compute_vertex_normals(state);
    const std::vector<Vec3> faces = state.mesh.face_normals;
    const std::vector<Vec3> sums = state.mesh.vertex_normals;
    state.mesh.list_start.clear();
    state.mesh.triangle_list.clear();
    scribble_over_normals(state.mesh);
    compute_vertex_normals(state);
    EXPECT_TRUE(same_bits(state.mesh.face_normals, faces));
    EXPECT_TRUE(same_bits(state.mesh.vertex_normals, sums));
}

TEST(ObjectMesh, large_mesh_normals_follow_each_new_shape) {
    // The helpers are kept between calls; each call must see the shape as it is now.
    EditorState state = random_large_mesh();
    for (int round = 0; round < 3; ++round) {
        for (Vec3& p : state.mesh.displayed) p.z += 0.25f * static_cast<float>(round);
        compute_vertex_normals(state, 1);
        const std::vector<Vec3> sums = state.mesh.vertex_normals;
        compute_vertex_normals(state, 2);
        EXPECT_TRUE(same_bits(state.mesh.vertex_normals, sums)) << "round " << round;
    }
}

TEST(ObjectMesh, triangle_naming_a_vertex_twice_is_listed_once) {
    std::vector<int32_t> start, list;
    build_vertex_triangle_lists(
        3, {make_triangle(0, 0, 1), make_triangle(2, 1, 2), make_triangle(1, 1, 1)}, start, list);
    EXPECT_EQ(start, (std::vector<int32_t>{0, 1, 4, 5}));
    EXPECT_EQ(list, (std::vector<int32_t>{0, 0, 1, 2, 1}));
}

TEST(ObjectMesh, lists_match_the_scan_of_every_triangle_per_vertex) {
    std::mt19937 random(7);
    const int32_t vertex_count = 300;
    std::uniform_int_distribution<int32_t> pick(0, vertex_count - 1);
    std::vector<Triangle> triangles;
    for (int k = 0; k < 2000; ++k) {
        // Small index range on some triangles so repeated corners occur too.
        if (k % 7 == 0) {
            triangles.push_back(
                make_triangle(pick(random) % 4, pick(random) % 4, pick(random) % 4));
        } else {
            triangles.push_back(make_triangle(pick(random), pick(random), pick(random)));
        }
    }
    std::vector<int32_t> start, list;
    build_vertex_triangle_lists(vertex_count, triangles, start, list);
    ASSERT_EQ(start.size(), static_cast<size_t>(vertex_count + 1));
    for (int32_t i = 0; i < vertex_count; ++i) {
        std::vector<int32_t> expected;
        for (int32_t k = 0; k < static_cast<int32_t>(triangles.size()); ++k) {
            const Triangle& t = triangles[k];
            if (t.v[0] == i || t.v[1] == i || t.v[2] == i) expected.push_back(k);
        }
        const std::vector<int32_t> got(list.begin() + start[i], list.begin() + start[i + 1]);
        ASSERT_EQ(got, expected) << "vertex " << i;
    }
}

TEST(ObjectMesh, init_source_frames_the_bounding_box) {
    EditorState state;
    load(state, make_source({{-1, 0, 0}, {1, -2, 1}, {0, 2, 0.5f}}, {make_triangle(0, 1, 2)}));
    expect_vec(state.view_centre, 0, 0, 0.5f);
    const float from_height =
        static_cast<float>(1.5 * 2.0 / std::tan(15.0 * 3.1415 / 180.0));  // about 11.1965
    EXPECT_NEAR(from_height, 11.1965f, 1e-4f);
    EXPECT_EQ(state.view_distance, from_height);
    EXPECT_EQ(state.yaw, -30.0f);
    EXPECT_EQ(state.pitch, -10.0f);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(state.object_colour[c], 0.8627451f);
    EXPECT_EQ(state.mesh.displayed.size(), 3u);
    expect_vec(state.mesh.displayed[1], 1, -2, 1);
    EXPECT_EQ(state.mesh.face_normals.size(), 1u);
    // Only a smooth draw needs the vertex normals and their lists; they wait for it.
    EXPECT_TRUE(state.mesh.vertex_normals.empty());
    EXPECT_TRUE(state.mesh.list_start.empty());
}

TEST(ObjectMesh, wide_object_is_framed_by_its_width) {
    EditorState state;
    load(state, make_source({{-4, -1, 0}, {4, 1, 0}, {0, 0, 1}}, {make_triangle(0, 1, 2)}));
    const float from_width = static_cast<float>(1.5 * 4.0 / std::tan(14.0 * 3.1415 / 180.0));
    EXPECT_EQ(state.view_distance, from_width);
}

TEST(ObjectMesh, object_at_negative_z_is_framed_by_its_extent) {
    EditorState state;
    load(state, make_source({{-1, -2, -9}, {1, 2, -8}, {0, 0, -8.5f}}, {make_triangle(0, 1, 2)}));
    EXPECT_NEAR(state.view_distance, 11.1965f, 1e-4f);
    EXPECT_FLOAT_EQ(state.view_centre.z, -8.5f);
}

TEST(ObjectMesh, object_flat_in_x_and_y_at_negative_z_gets_a_distance_in_front) {
    EditorState segment;
    load(segment, make_source({{3, 3, -4}, {3, 3, -2}}, {}));
    EXPECT_GT(segment.view_distance, 1.0f + 1.0f);  // beyond the near plane and the half depth
    EXPECT_FLOAT_EQ(segment.view_centre.z, -3.0f);

    EditorState point;
    load(point, make_source({{0, 0, -1}}, {}));
    EXPECT_GT(point.view_distance, 1.0f);
}

TEST(ObjectMesh, an_object_smaller_than_the_near_plane_distance_is_framed_beyond_it) {
    // a face 0.2 across in metres: framed by its height the camera would stand 0.56 away
    EditorState face;
    load(face, make_source({{-0.1f, -0.1f, -0.1f}, {0.1f, 0.1f, 0.1f}, {0, 0.1f, 0}},
                           {make_triangle(0, 1, 2)}));
    const double corner = std::sqrt(3.0) * 0.1;  // the box's farthest point from its centre
    EXPECT_GT(face.view_distance, 1.0 + corner);
    EXPECT_LT(face.view_distance, 1.0 + 1.1 * corner);
}

TEST(ObjectMesh, palette_bytes_become_unit_floats) {
    EditorState state;
    load(state, make_source({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {make_triangle(0, 1, 2, 2)},
                            {0, 128, 255}));
    ASSERT_EQ(state.mesh.palette_red.size(), 3u);
    EXPECT_EQ(state.mesh.palette_red[0], 0.0f);
    EXPECT_NEAR(state.mesh.palette_green[1], 0.50196f, 1e-5f);
    EXPECT_EQ(state.mesh.palette_blue[2], 1.0f);
    EXPECT_EQ(state.mesh.triangles[0].colour, 2);
}

TEST(ObjectMesh, release_leaves_nothing_to_draw_and_reload_rebuilds) {
    EditorState state;
    load(state, make_source({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {make_triangle(0, 1, 2)}, {9}));
    release_source(state);
    EXPECT_FALSE(state.source_loaded());
    EXPECT_EQ(state.vertex_count, 0);
    EXPECT_EQ(state.triangle_count, 0);
    EXPECT_TRUE(state.slots[0].vertices.empty());
    EXPECT_TRUE(state.mesh.triangles.empty());
    EXPECT_TRUE(state.mesh.palette_red.empty());
    EXPECT_TRUE(state.mesh.face_normals.empty());
    EXPECT_TRUE(state.mesh.list_start.empty());
    compute_vertex_normals(state);  // nothing left to read

    load(state,
         make_source({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {1, 1, 1}}, {make_triangle(0, 1, 2)}));
    compute_vertex_normals(state);
    EXPECT_EQ(state.mesh.displayed.size(), 4u);
    expect_vec(state.mesh.vertex_normals[0], 0, 0, 4);
    EXPECT_TRUE(list_of(state.mesh, 3).empty());
}

}  // namespace
}  // namespace warpkit

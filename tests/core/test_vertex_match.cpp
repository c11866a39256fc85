#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "model/qxm_reader.h"
#include "model/target_measure.h"
#include "model/vertex_match.h"
#include "support/qxm_writer.h"
#include "support/remeshed.h"

namespace warpkit {
namespace {

using testing::renumber;
using testing::Renumbered;

struct Shape {
    std::vector<Vec3> vertices;
    std::vector<Triangle> triangles;
};

Shape grid(int columns, int rows) {
    const testing::QxmObjectSpec object = testing::make_grid_object("grid", columns, rows);
    return {object.vertices, object.triangles};
}

Shape example_head() {
    ObjectFileReader reader;
    const ReadOutcome read = reader.ReadObject(WARPKIT_EXAMPLES_DIR "/head.qxm", "head", true);
    EXPECT_TRUE(read.ok()) << read.reason.en;
    return {reader.result().vertices, reader.result().triangles};
}

Shape moved(Shape shape, const std::function<Vec3(const Vec3&)>& move) {
    for (Vec3& v : shape.vertices) v = move(v);
    return shape;
}

// Each vertex moved its own random way, by up to `share` of the bounding-box diagonal.
Shape jittered(Shape shape, double share, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const float reach = static_cast<float>(share * bounding_box_diagonal(shape.vertices));
    for (Vec3& v : shape.vertices) {
        Vec3 d;
        do d = {unit(random), unit(random), unit(random)};
        while (d.x * d.x + d.y * d.y + d.z * d.z > 1.0f);
        v = {v.x + reach * d.x, v.y + reach * d.y, v.z + reach * d.z};
    }
    return shape;
}

// Separate parts in one mesh.
Shape joined(const std::vector<Shape>& parts) {
    Shape out;
    for (const Shape& part : parts) {
        const int32_t base = static_cast<int32_t>(out.vertices.size());
        out.vertices.insert(out.vertices.end(), part.vertices.begin(), part.vertices.end());
        for (Triangle t : part.triangles) {
            for (int32_t& v : t.v) v += base;
            out.triangles.push_back(t);
        }
    }
    return out;
}

// The mirror image in x, its triangles turned so they still face outward.
Shape mirrored(Shape shape) {
    for (Vec3& v : shape.vertices) v.x = -v.x;
    for (Triangle& t : shape.triangles) std::swap(t.v[1], t.v[2]);
    return shape;
}

// A grid over x = -n .. n whose diagonals mirror at x = 0, so the mesh is its own mirror image.
Shape symmetric_grid(int n) {
    Shape shape = moved(grid(2 * n, n), [n](const Vec3& v) { return Vec3{v.x - n, v.y, v.z}; });
    const int stride = 2 * n + 1;
    shape.triangles.clear();
    for (int row = 0; row < n; ++row) {
        for (int column = 0; column < 2 * n; ++column) {
            const int c = row * stride + column;
            if (column < n) {
                shape.triangles.push_back(make_triangle(c, c + 1, c + stride));
                shape.triangles.push_back(make_triangle(c + 1, c + stride + 1, c + stride));
            } else {
                shape.triangles.push_back(make_triangle(c, c + 1, c + stride + 1));
                shape.triangles.push_back(make_triangle(c, c + stride + 1, c + stride));
            }
        }
    }
    return shape;
}

Shape tetrahedron(float x, float y) {
    return {{{x, y, 0}, {x + 1, y, 0}, {x, y + 1, 0}, {x, y, 1}},
            {make_triangle(0, 2, 1), make_triangle(0, 1, 3), make_triangle(1, 2, 3),
             make_triangle(0, 3, 2)}};
}

// A grid with a fin (a third triangle on one of its edges) and a second grid that touches it
// at one corner only: edges and a vertex that the growth cannot simply cross.
Shape non_manifold() {
    Shape shape = grid(4, 3);
    const int32_t fin = static_cast<int32_t>(shape.vertices.size());
    shape.vertices.push_back({1.5f, 1.5f, 1.0f});
    shape.triangles.push_back(make_triangle(6, 7, fin));  // on the edge from (1,1) to (2,1)
    Shape corner = moved(grid(2, 2), [](const Vec3& v) { return Vec3{v.x + 4, v.y + 3, v.z}; });
    Shape joined_shape = joined({shape, corner});
    // the second grid's first vertex is the first grid's last
    const int32_t shared = 19, duplicate = static_cast<int32_t>(shape.vertices.size());
    for (Triangle& t : joined_shape.triangles) {
        for (int32_t& v : t.v) {
            if (v == duplicate) v = shared;
            if (v > duplicate) --v;
        }
    }
    joined_shape.vertices.erase(joined_shape.vertices.begin() + duplicate);
    return joined_shape;
}

// A disc of `rim` triangles around one middle vertex, its rim gently waved.
Shape fan(int rim) {
    Shape shape;
    shape.vertices.push_back({0, 0, 0});
    for (int i = 0; i < rim; ++i) {
        const double angle = 2.0 * std::acos(-1.0) * i / rim;
        shape.vertices.push_back({static_cast<float>(std::cos(angle)),
                                  static_cast<float>(std::sin(angle)), 0.01f * (i % 5)});
        shape.triangles.push_back(make_triangle(0, 1 + i, 1 + (i + 1) % rim));
    }
    return shape;
}

Shape plain(const testing::PlainMesh& mesh) {
    return {mesh.vertices, mesh.triangles};
}

struct Case {
    const char* name;
    Shape source;
    Shape target_shape;  // the target before renumbering
    bool keep_vertex_order = false;
    MatchMethod method = MatchMethod::kTopology;  // kNone: refused
};

TEST(VertexMatch, recovers_the_renumbering_exactly_or_refuses_with_the_count) {
    const Shape head = example_head();
    const Shape square = grid(20, 15);
    const Shape other_triangles{square.vertices, testing::turned_diagonals(square.triangles)};
    const Shape left = moved(grid(6, 6), [](const Vec3& v) { return Vec3{v.x - 8, v.y, v.z}; });
    const Shape halves = joined({left, mirrored(left)});
    std::vector<Shape> teeth;
    for (int i = 0; i < 6; ++i) teeth.push_back(tetrahedron(2.0f * i, (i % 2) * 0.5f));
    teeth.push_back({{{-3, 0, 0}, {-3, 2, 0}}, {}});  // and two vertices no triangle uses
    const Shape mouth = joined(teeth);
    const Shape symmetric = symmetric_grid(6);
    const Shape fins = non_manifold();
    const Shape lattice = plain(testing::identical_tetrahedra(125));
    const Shape ring = plain(testing::torus(24, 16));
    const Shape disc = fan(300);

    const std::vector<Case> cases = {
        {"grid", square, square},
        {"example_head", head, head},
        {"head_moved_by_up_to_a_tenth", head, jittered(head, 0.1, 7)},
        {"mirror_symmetric_moved_by_up_to_a_tenth", symmetric, jittered(symmetric, 0.1, 8)},
        {"mirrored_halves_as_parts", halves, jittered(halves, 0.1, 9)},
        {"identical_parts", mouth, jittered(mouth, 0.02, 10)},
        {"non_manifold_edge_and_vertex", fins, jittered(fins, 0.1, 13)},
        {"many_identical_parts", lattice, jittered(lattice, 0.005, 14)},
        {"torus_every_vertex_alike_with_noise", ring, jittered(ring, 0.02, 15)},
        {"fan_of_many_triangles", disc, jittered(disc, 0.002, 16)},
        {"corners_rotated_in_place", head, head, true},
        {"other_triangles_close_positions", square, jittered(other_triangles, 0.004, 11), false,
         MatchMethod::kPosition},
        {"other_mesh", square, jittered(other_triangles, 0.3, 12), false, MatchMethod::kNone},
    };
    uint32_t seed = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Renumbered target = renumber(c.target_shape.vertices, c.target_shape.triangles,
                                           ++seed, c.keep_vertex_order);
        const VertexMatch match = match_vertex_order(c.source.vertices, c.source.triangles,
                                                     target.vertices, target.triangles);
        EXPECT_EQ(match.vertex_count, static_cast<int32_t>(c.source.vertices.size()));
        if (c.method == MatchMethod::kNone) {
            EXPECT_EQ(match.status, MatchStatus::kRefused);
            EXPECT_EQ(match.refusal, MatchRefusal::kNoOneToOne);
            EXPECT_TRUE(match.target_of.empty());
            EXPECT_GT(match.unmatched, 0);
            EXPECT_NE(match.reason.find(std::to_string(match.unmatched) + " of " +
                                        std::to_string(match.vertex_count) +
                                        " vertices could not be matched"),
                      std::string::npos)
                << match.reason;
            continue;
        }
        ASSERT_EQ(match.status, MatchStatus::kMatched) << match.reason;
        EXPECT_EQ(match.method, c.method);
        EXPECT_EQ(match.target_of, target.target_of);
        EXPECT_EQ(match.renumbered == 0, c.keep_vertex_order);
        const std::vector<Vec3> ordered =
            positions_in_source_order(target.vertices, match.target_of);
        ASSERT_EQ(ordered.size(), c.target_shape.vertices.size());
        for (size_t i = 0; i < ordered.size(); ++i) {
            ASSERT_EQ(ordered[i].x, c.target_shape.vertices[i].x) << i;
            ASSERT_EQ(ordered[i].y, c.target_shape.vertices[i].y) << i;
            ASSERT_EQ(ordered[i].z, c.target_shape.vertices[i].z) << i;
        }
    }
}

TEST(VertexMatch, refuses_meshes_it_cannot_pair_before_any_work) {
    const Shape square = grid(3, 2);
    Shape shorter = square;
    shorter.vertices.pop_back();
    VertexMatch match =
        match_vertex_order(square.vertices, square.triangles, shorter.vertices, square.triangles);
    EXPECT_EQ(match.refusal, MatchRefusal::kVertexCount);
    EXPECT_EQ(match.reason, "the target has 11 vertices, the source 12");

    Shape broken = square;
    broken.vertices[5].y = std::nanf("");
    match =
        match_vertex_order(square.vertices, square.triangles, broken.vertices, broken.triangles);
    EXPECT_EQ(match.refusal, MatchRefusal::kBadMesh);
    EXPECT_EQ(match.reason, "vertex 5 of the target is not a finite point");
    broken = square;
    broken.triangles[2].v[1] = 12;
    match =
        match_vertex_order(broken.vertices, broken.triangles, square.vertices, square.triangles);
    EXPECT_EQ(match.reason, "triangle 2 of the source uses vertex 12, outside its 12 vertices");
    EXPECT_EQ(match.status, MatchStatus::kRefused);
}

TEST(VertexMatch, reports_rising_shares_and_stops_when_cancelled) {
    const Shape square = grid(120, 100);
    const Renumbered target = renumber(square.vertices, square.triangles, 5);
    for (const int calls_before_cancel : {1000, 2}) {
        std::vector<double> shares;
        const VertexMatch match =
            match_vertex_order(square.vertices, square.triangles, target.vertices, target.triangles,
                               [&](double share) {
                                   shares.push_back(share);
                                   return static_cast<int>(shares.size()) < calls_before_cancel;
                               });
        ASSERT_GE(shares.size(), 2u);
        EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
        EXPECT_GE(shares.front(), 0.0);
        EXPECT_LE(shares.back(), 1.0);
        if (calls_before_cancel == 2) {
            EXPECT_EQ(shares.size(), 2u);
            EXPECT_EQ(match.status, MatchStatus::kCancelled);
            EXPECT_TRUE(match.target_of.empty());
        } else {
            EXPECT_EQ(match.status, MatchStatus::kMatched);
        }
    }
}

// The topology phase (shares 0.2 to 0.5) looks for candidate parts and seeds among thousands of
// identical parts, work that assigns few vertices; a cancel there must be seen at once.
TEST(VertexMatch, a_cancel_while_candidates_are_sought_stops_at_once) {
    const testing::PlainMesh parts = testing::identical_tetrahedra(4000);
    const Renumbered target = renumber(parts.vertices, parts.triangles, 6);
    for (const int cancel_at : {1, 3}) {
        SCOPED_TRACE(cancel_at);
        int in_phase = 0, after_cancel = 0;
        bool cancelled = false;
        const VertexMatch match = match_vertex_order(
            parts.vertices, parts.triangles, target.vertices, target.triangles, [&](double share) {
                if (cancelled) ++after_cancel;
                if (share >= 0.2 && share <= 0.5 && ++in_phase == cancel_at) cancelled = true;
                return !cancelled;
            });
        EXPECT_TRUE(cancelled);
        EXPECT_EQ(after_cancel, 0);
        EXPECT_EQ(match.status, MatchStatus::kCancelled);
        EXPECT_TRUE(match.target_of.empty());
    }
}

// Wherever the match is when the callback first returns false (preparing, refining colours,
// seeking candidates, contesting growths, pairing by position), it returns kCancelled and
// calls back no more.
TEST(VertexMatch, a_cancel_at_any_report_stops_the_match_there) {
    const Shape ring = plain(testing::torus(120, 100));
    const Shape lattice = plain(testing::identical_tetrahedra(3000));
    const Shape square = grid(150, 120);
    const Shape other_triangles{square.vertices, testing::turned_diagonals(square.triangles)};
    const std::vector<Case> cases = {
        {"torus_contest", ring, jittered(ring, 0.01, 21)},
        {"identical_parts", lattice, jittered(lattice, 0.002, 22)},
        {"by_position", square, jittered(other_triangles, 0.0005, 23), false,
         MatchMethod::kPosition},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Renumbered target = renumber(c.target_shape.vertices, c.target_shape.triangles, 24);
        const auto run = [&](int cancel_at, int& calls) {
            calls = 0;
            return match_vertex_order(c.source.vertices, c.source.triangles, target.vertices,
                                      target.triangles,
                                      [&](double) { return ++calls != cancel_at; });
        };
        int all = 0;
        const VertexMatch whole = run(0, all);
        ASSERT_EQ(whole.status, MatchStatus::kMatched) << whole.reason;
        EXPECT_EQ(whole.method, c.method);
        ASSERT_GE(all, 5);
        for (const int cancel_at : {1, all / 4, all / 2, 3 * all / 4, all}) {
            int calls = 0;
            const VertexMatch match = run(cancel_at, calls);
            EXPECT_EQ(calls, cancel_at);
            EXPECT_EQ(match.status, MatchStatus::kCancelled) << cancel_at << " of " << all;
            EXPECT_TRUE(match.target_of.empty());
        }
    }
}

}  // namespace
}  // namespace warpkit

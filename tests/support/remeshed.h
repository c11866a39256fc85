#pragma once
// Meshes as another tool may give an object back: its vertices renumbered at random (the
// triangles in another order too, each triangle's corners rotated), or other triangles over
// the same points. For the tests and the benchmark of vertex-order matching.
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "base/geometry.h"

namespace warpkit::testing {

struct Renumbered {
    std::vector<Vec3> vertices;
    std::vector<Triangle> triangles;
    std::vector<int32_t> target_of;  // the new index of each original vertex
};

// keep_vertex_order: only the triangles are reordered and turned.
inline Renumbered renumber(const std::vector<Vec3>& vertices,
                           const std::vector<Triangle>& triangles, uint32_t seed,
                           bool keep_vertex_order = false) {
    std::mt19937 random(seed);
    Renumbered out;
    out.target_of.resize(vertices.size());
    std::iota(out.target_of.begin(), out.target_of.end(), 0);
    if (!keep_vertex_order) std::shuffle(out.target_of.begin(), out.target_of.end(), random);
    out.vertices.resize(vertices.size());
    for (size_t i = 0; i < vertices.size(); ++i) out.vertices[out.target_of[i]] = vertices[i];
    out.triangles = triangles;
    std::shuffle(out.triangles.begin(), out.triangles.end(), random);
    for (Triangle& t : out.triangles) {
        const int turn = static_cast<int>(random() % 3);
        const Triangle old = t;
        for (int k = 0; k < 3; ++k) t.v[k] = out.target_of[old.v[(k + turn) % 3]];
    }
    return out;
}

// The triangles of a grid as make_grid_object lays them out, with every other square's diagonal
// turned: other triangles over the same points.
inline std::vector<Triangle> turned_diagonals(std::vector<Triangle> triangles) {
    for (size_t i = 0; i + 1 < triangles.size(); i += 4) {
        Triangle& a = triangles[i];      // c, c + 1, c + s + 1
        Triangle& b = triangles[i + 1];  // c, c + s + 1, c + s
        const int32_t c = a.v[0], c1 = a.v[1], cs1 = a.v[2], cs = b.v[2];
        a = make_triangle(c, c1, cs);
        b = make_triangle(c1, cs1, cs);
    }
    return triangles;
}

}  // namespace warpkit::testing

#pragma once
// Meshes as another tool may give an object back: its vertices renumbered at random (the
// triangles in another order too, each triangle's corners rotated), or other triangles over
// the same points, and the shapes whose many symmetries make matching hard. For the tests and
// the benchmark of vertex-order matching.
#include <algorithm>
#include <cmath>
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

struct PlainMesh {
    std::vector<Vec3> vertices;
    std::vector<Triangle> triangles;
};

// `count` identical tetrahedra (edge 1) on a cubic lattice of spacing 2, in lattice order: the
// bolts, teeth or leaves merged into one object that no triangle tells apart.
inline PlainMesh identical_tetrahedra(int count) {
    PlainMesh mesh;
    const int side = std::max(1, static_cast<int>(std::ceil(std::cbrt(count))));
    for (int i = 0; i < count; ++i) {
        const float x = 2.0f * static_cast<float>(i % side);
        const float y = 2.0f * static_cast<float>(i / side % side);
        const float z = 2.0f * static_cast<float>(i / (side * side));
        const int32_t b = static_cast<int32_t>(mesh.vertices.size());
        mesh.vertices.insert(mesh.vertices.end(),
                             {{x, y, z}, {x + 1, y, z}, {x, y + 1, z}, {x, y, z + 1}});
        mesh.triangles.insert(mesh.triangles.end(),
                              {make_triangle(b, b + 2, b + 1), make_triangle(b, b + 1, b + 3),
                               make_triangle(b + 1, b + 2, b + 3), make_triangle(b, b + 3, b + 2)});
    }
    return mesh;
}

// A closed torus of rings x segments quads, two triangles each: every vertex alike, so only
// the positions tell one correspondence from the rings x segments x 2 others. Radii 3 and 1.
inline PlainMesh torus(int rings, int segments) {
    PlainMesh mesh;
    const double pi = std::acos(-1.0);
    for (int r = 0; r < rings; ++r) {
        const double around = 2.0 * pi * r / rings;
        for (int s = 0; s < segments; ++s) {
            const double tube = 2.0 * pi * s / segments;
            const double reach = 3.0 + std::cos(tube);
            mesh.vertices.push_back({static_cast<float>(reach * std::cos(around)),
                                     static_cast<float>(reach * std::sin(around)),
                                     static_cast<float>(std::sin(tube))});
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const int32_t a = r * segments + s;
            const int32_t b = r * segments + (s + 1) % segments;
            const int32_t c = (r + 1) % rings * segments + s;
            const int32_t d = (r + 1) % rings * segments + (s + 1) % segments;
            mesh.triangles.push_back(make_triangle(a, c, d));
            mesh.triangles.push_back(make_triangle(a, d, b));
        }
    }
    return mesh;
}

// Each vertex moved its own random way by up to `reach` (uniform in a ball).
inline std::vector<Vec3> jittered_points(std::vector<Vec3> points, float reach, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (Vec3& v : points) {
        Vec3 d;
        do d = {unit(random), unit(random), unit(random)};
        while (d.x * d.x + d.y * d.y + d.z * d.z > 1.0f);
        v = {v.x + reach * d.x, v.y + reach * d.y, v.z + reach * d.z};
    }
    return points;
}

}  // namespace warpkit::testing

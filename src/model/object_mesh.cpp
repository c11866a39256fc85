#include "model/object_mesh.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <vector>

#include "model/free_array.h"
#include "model/normals.h"

namespace warpkit {

namespace {

// The framing angles keep their historic 3.1415 for pi so the starting view of a given object
// stays where users have always seen it.
constexpr double kPi = 3.1415;
constexpr double kVerticalHalfAngle = 15.0 * kPi / 180.0;
constexpr double kHorizontalHalfAngle = 14.0 * kPi / 180.0;
constexpr double kFrameMargin = 1.5;

// Past the near plane, so even an object that is a single point stays in front of it.
constexpr float kMinimumViewDistance = 2.0f;
constexpr double kNearPlane = 1.0;

constexpr float kObjectGrey = 0.8627451f;  // 220 / 255

bool valid_index(int32_t index, int32_t vertex_count) {
    return index >= 0 && index < vertex_count;
}

// The three candidates in order, a later one replacing the distance only when strictly greater.
float framing_distance(const Vec3& max, const Vec3& centre) {
    float distance = static_cast<float>(kFrameMargin * max.z);
    const float from_height = static_cast<float>(
        kFrameMargin * (static_cast<double>(max.y) - centre.y) / std::tan(kVerticalHalfAngle));
    if (from_height > distance) distance = from_height;
    const float from_width = static_cast<float>(
        kFrameMargin * (static_cast<double>(max.x) - centre.x) / std::tan(kHorizontalHalfAngle));
    if (from_width > distance) distance = from_width;
    return distance;
}

// A source flat in x and y that lies at z <= 0 leaves every candidate at or below zero, which
// would put the camera on or behind the centre; frame its depth extent instead.
float fallback_distance(const Vec3& max, const Vec3& centre) {
    const double half_extent =
        std::max({static_cast<double>(max.x) - centre.x, static_cast<double>(max.y) - centre.y,
                  static_cast<double>(max.z) - centre.z});
    const float distance =
        static_cast<float>(kFrameMargin * half_extent / std::tan(kVerticalHalfAngle));
    return std::max(distance, kMinimumViewDistance);
}

// The near plane stays at 1.0, so an object under about half a unit across (a face in metres,
// as glTF and FBX bring it) framed as above lies in front of the plane and shows nothing; the
// camera then stands back until the whole box lies beyond it, whichever way the view turns.
float clear_of_near_plane(float distance, const Vec3& max, const Vec3& centre) {
    const double dx = static_cast<double>(max.x) - centre.x;
    const double dy = static_cast<double>(max.y) - centre.y;
    const double dz = static_cast<double>(max.z) - centre.z;
    const auto least =
        static_cast<float>(kNearPlane + 1.05 * std::sqrt(dx * dx + dy * dy + dz * dz));
    return std::max(distance, least);
}

float unit_byte(uint8_t value) {
    return static_cast<float>(static_cast<double>(value) * (1.0 / 255.0));
}

}  // namespace

namespace {

// `triangles`: the source's own, to be taken, or null to copy them.
int32_t init_source(EditorState& state, const ReadResult& source,
                    std::vector<Triangle>* triangles) {
    const std::vector<Vec3>& positions = state.slots[0].vertices;
    assert(state.vertex_count > 0);
    assert(state.vertex_count == source.vertex_count);
    assert(state.triangle_count == source.triangle_count);
    assert(positions.size() == static_cast<size_t>(state.vertex_count));
    assert(source.triangles.size() == static_cast<size_t>(source.triangle_count));
    assert(source.red.size() == static_cast<size_t>(source.colour_count));
    assert(source.green.size() == source.red.size() && source.blue.size() == source.red.size());
    ObjectMesh& mesh = state.mesh;
    const size_t vertex_count = static_cast<size_t>(state.vertex_count);

    // starting angles
    state.yaw = -30.0f;
    state.pitch = -10.0f;
    state.view_distance = 0.0f;

    // displayed shape and bounding box
    mesh.displayed.resize(vertex_count);
    Vec3 max = positions[0];
    Vec3 min = positions[0];
    for (size_t i = 0; i < vertex_count; ++i) {
        const Vec3& p = positions[i];
        mesh.displayed[i] = p;
        if (max.x < p.x) max.x = p.x;
        if (min.x > p.x) min.x = p.x;
        if (max.y < p.y) max.y = p.y;
        if (min.y > p.y) min.y = p.y;
        if (max.z < p.z) max.z = p.z;
        if (min.z > p.z) min.z = p.z;
    }

    // view centre and distance
    state.view_centre.x = static_cast<float>((static_cast<double>(max.x) + min.x) * 0.5);
    state.view_centre.y = static_cast<float>((static_cast<double>(max.y) + min.y) * 0.5);
    state.view_centre.z = static_cast<float>((static_cast<double>(max.z) + min.z) * 0.5);
    state.view_distance = framing_distance(max, state.view_centre);
    if (!(state.view_distance > 0.0f))
        state.view_distance = fallback_distance(max, state.view_centre);
    state.view_distance = clear_of_near_plane(state.view_distance, max, state.view_centre);

    // topology, palette
    if (triangles != nullptr) {
        mesh.triangles = std::move(*triangles);
    } else {
        mesh.triangles = source.triangles;
    }
    const size_t colour_count = static_cast<size_t>(source.colour_count);
    mesh.palette_red.resize(colour_count);
    mesh.palette_green.resize(colour_count);
    mesh.palette_blue.resize(colour_count);
    for (size_t j = 0; j < colour_count; ++j) {
        mesh.palette_red[j] = unit_byte(source.red[j]);
        mesh.palette_green[j] = unit_byte(source.green[j]);
        mesh.palette_blue[j] = unit_byte(source.blue[j]);
    }

    state.object_colour[0] = kObjectGrey;
    state.object_colour[1] = kObjectGrey;
    state.object_colour[2] = kObjectGrey;

    // Face normals are filled per draw; only their space is made here. The vertex normals and
    // the vertex-triangle lists they are summed along come with the first smooth draw
    // (model/normals.h): flat shading and wire frame never need them.
    mesh.face_normals.assign(mesh.triangles.size(), Vec3{});
    release_vertex_normals(mesh);
    // the renderer lays its arrays out afresh for the new triangles at its next draw
    mesh.draw_arrays.reset();
    return 1;
}

}  // namespace

int32_t InitSource(EditorState& state, const ReadResult& source) {
    return init_source(state, source, nullptr);
}

int32_t InitSource(EditorState& state, ReadResult&& source) {
    return init_source(state, source, &source.triangles);
}

void build_vertex_triangle_lists(int32_t vertex_count, const std::vector<Triangle>& triangles,
                                 std::vector<int32_t>& list_start,
                                 std::vector<int32_t>& triangle_list) {
    assert(vertex_count >= 0);
    const size_t vertices = static_cast<size_t>(std::max(vertex_count, 0));
    // Calls `visit(vertex)` once for each distinct, valid vertex of triangle t.
    auto for_each_corner = [vertex_count](const Triangle& t, auto&& visit) {
        for (int c = 0; c < 3; ++c) {
            const int32_t v = t.v[c];
            if (!valid_index(v, vertex_count)) {
                assert(!"triangle index outside the vertices");
                continue;
            }
            if ((c >= 1 && v == t.v[0]) || (c == 2 && v == t.v[1])) continue;
            visit(v);
        }
    };

    // count the triangles of each vertex, one slot ahead so the prefix sum gives the starts
    list_start.assign(vertices + 1, 0);
    for (const Triangle& t : triangles) {
        for_each_corner(t, [&](int32_t v) { ++list_start[static_cast<size_t>(v) + 1]; });
    }
    for (size_t i = 0; i < vertices; ++i) list_start[i + 1] += list_start[i];

    // fill in triangle order, so each list comes out ascending
    triangle_list.assign(static_cast<size_t>(list_start[vertices]), 0);
    std::vector<int32_t> next(list_start.begin(), list_start.end() - 1);
    for (size_t k = 0; k < triangles.size(); ++k) {
        for_each_corner(triangles[k], [&](int32_t v) {
            triangle_list[static_cast<size_t>(next[static_cast<size_t>(v)]++)] =
                static_cast<int32_t>(k);
        });
    }
}

void release_source(EditorState& state) {
    ObjectMesh& mesh = state.mesh;
    // The displayed shape keeps its storage for the next source; every other array goes.
    mesh.displayed.clear();
    free_array(mesh.triangles);
    free_array(mesh.palette_red);
    free_array(mesh.palette_green);
    free_array(mesh.palette_blue);
    release_vertex_normals(mesh);
    free_array(mesh.face_normals);
    mesh.draw_arrays.reset();
    free_array(state.slots[0].vertices);
    // Counts follow the arrays, so nothing can index what was just released.
    state.vertex_count = 0;
    state.triangle_count = 0;
    state.slots[0].loaded = 0;
}

}  // namespace warpkit

#pragma once
// The shapes the benchmarks work on: grids of hills in row order, the way a modeller's
// export keeps neighbouring triangles near each other in the file.
#include <cmath>
#include <cstdint>
#include <string>

#include "model/qxm_reader.h"
#include "support/qxm_writer.h"

namespace warpkit::bench {

struct GridSize {
    int columns;
    int rows;
    int64_t triangles() const { return int64_t{2} * columns * rows; }
    int64_t vertices() const { return int64_t{columns + 1} * (rows + 1); }
};

constexpr GridSize k100kTriangles{250, 200};  // 100 000 triangles, 50 451 vertices
constexpr GridSize k1MTriangles{1000, 500};   // 1 000 000 triangles, 501 501 vertices
constexpr GridSize k1MVertices{999, 999};     // 1 000 000 vertices, 1 996 002 triangles

// A grid with gentle hills, so every face has its own normal; `phase` moves the hills, which
// makes a target of the same topology.
inline testing::QxmObjectSpec hills(const std::string& name, GridSize size, float phase = 0.0f) {
    testing::QxmObjectSpec object = testing::make_grid_object(name, size.columns, size.rows);
    for (Vec3& v : object.vertices) {
        v.z = 3.0f * std::sin(0.05f * v.x + phase) * std::cos(0.07f * v.y - phase);
    }
    return object;
}

// What the reader hands over for such an object.
inline ReadResult as_read_result(const testing::QxmObjectSpec& object) {
    ReadResult result;
    result.vertices = object.vertices;
    result.triangles = object.triangles;
    result.vertex_count = static_cast<int32_t>(object.vertices.size());
    result.triangle_count = static_cast<int32_t>(object.triangles.size());
    result.colour_count = 1;
    result.red = {200};
    result.green = {180};
    result.blue = {90};
    result.object_name = object.name;
    return result;
}

}  // namespace warpkit::bench

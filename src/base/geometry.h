#pragma once
// Plain geometry records shared by the reader, the mesh, the blend and the renderer.
#include <cstdint>

namespace warpkit {

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// Three zero-based vertex indices and an index into the file's colour table.
struct Triangle {
    int32_t v[3] = {0, 0, 0};
    int32_t colour = 0;
};

inline Triangle make_triangle(int32_t a, int32_t b, int32_t c, int32_t colour = 0) {
    Triangle triangle;
    triangle.v[0] = a;
    triangle.v[1] = b;
    triangle.v[2] = c;
    triangle.colour = colour;
    return triangle;
}

}  // namespace warpkit

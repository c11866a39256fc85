#pragma once
// The displayed shape laid out for OpenGL vertex arrays, so that a frame goes out in one draw
// call and still gives, pixel for pixel, the picture that one begin/end per triangle gives.
// Plain data and loops, no GL: the renderer points GL at what these functions hand back.
//
// Flat shading takes a triangle's normal and colour from its last vertex (the provoking vertex
// of GL_TRIANGLES). So after the shared vertices every triangle gets an array vertex of its
// own, a copy of its last corner that carries its face normal and colour; its first two
// corners stay the shared vertices, whose normals and colours flat shading never shows.
//
// Smooth shading and wire frame carry colour along the corners, so each corner must have its
// triangle's colour: a vertex used by triangles of several colours is split into one array
// vertex per colour. Array vertex i below the vertex count is vertex i, with the colour of the
// first triangle that uses it; the split copies follow.
//
// The layout is made once per source and mode, at the first draw that needs it; a draw then
// only copies the moving positions and normals into arrays that already exist.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/editor_state.h"

namespace warpkit {

// What a draw call needs: element i of `indices` names array vertex indices[i], which lies at
// positions[.], normals[.] and colours[3 * .]. Without a colour array every vertex takes
// `colour`; without a normal array no normals are sent.
struct ArrayBatch {
    const Vec3* positions = nullptr;
    const Vec3* normals = nullptr;
    const float* colours = nullptr;
    float colour[3] = {0.0f, 0.0f, 0.0f};
    const uint32_t* indices = nullptr;
    size_t index_count = 0;
};

// The colours an array was filled for.
struct ColourChoice {
    bool filled = false;
    float object[3] = {0.0f, 0.0f, 0.0f};
};

struct DrawArrays {
    // The mesh sizes the layout was made for.
    size_t vertex_count = 0;
    size_t triangle_count = 0;
    size_t palette_size = 0;

    // Flat: [the vertices][one copy of each triangle's last corner], triangle k's copy at
    // vertex_count + k.
    std::vector<uint32_t> flat_indices;  // three per drawable triangle
    std::vector<Vec3> flat_positions;
    std::vector<Vec3> flat_normals;
    std::vector<float> flat_colours;  // palette colours only
    ColourChoice flat_colour_choice;

    // Smooth and wire frame: [the vertices][split copies].
    std::vector<int32_t> split_vertex;     // split copy j repeats vertex split_vertex[j]
    std::vector<int32_t> corner_colour;    // per array vertex: palette index, or -1 (object)
    std::vector<uint32_t> corner_indices;  // three per drawable triangle
    std::vector<uint32_t> edge_indices;    // six per drawable triangle: its outline as lines
    std::vector<Vec3> corner_positions;    // only when there are split copies
    std::vector<Vec3> corner_normals;
    std::vector<float> corner_colours;  // palette colours only
    ColourChoice corner_colour_choice;
};

// The mesh's arrays, made empty when there are none yet or they were made for other sizes.
DrawArrays& draw_arrays_of(ObjectMesh& mesh);

// Each prepares its arrays from the state's current shape and hands back the batch to draw;
// only the first call for a source allocates. Flat needs fresh face normals, smooth fresh
// vertex normals (model/normals.h). Triangles naming a vertex that does not exist are
// left out; a colour index outside the palette takes the object colour.
ArrayBatch prepare_flat(DrawArrays& arrays, const EditorState& state);
ArrayBatch prepare_smooth(DrawArrays& arrays, const EditorState& state);
// Lines: three per triangle, each edge in the direction the triangle's outline runs.
ArrayBatch prepare_wire_frame(DrawArrays& arrays, const EditorState& state);

}  // namespace warpkit

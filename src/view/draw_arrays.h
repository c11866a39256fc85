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
//
// Those client arrays are how earlier releases drew, kept as a reference. The program draws
// from buffer objects (the lean layouts at the end): the same corners, but flat shading lets
// a triangle's own corner be a shared vertex that no earlier triangle owns, so most triangles
// need no copy (a third fewer vertices for GL to light), and the layout's vertex data is
// written straight into the buffers.
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

// Which lean layout a mode draws from: flat its own, smooth and wire frame the corners.
enum class LeanLayout { kNone, kFlat, kCorners };

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
    bool corners_built = false;
    std::vector<int32_t> split_vertex;     // split copy j repeats vertex split_vertex[j]
    std::vector<int32_t> corner_colour;    // per array vertex: palette index, or -1 (object)
    std::vector<uint32_t> corner_indices;  // three per drawable triangle
    std::vector<uint32_t> edge_indices;    // six per drawable triangle: its outline as lines
    std::vector<Vec3> corner_positions;    // only when there are split copies
    std::vector<Vec3> corner_normals;
    std::vector<float> corner_colours;  // palette colours only
    ColourChoice corner_colour_choice;

    // Lean layouts: only the one last asked for is kept. Each one made gets a number no other
    // gets, so whoever keeps a copy of one (a GL context's buffers) can tell whether it still
    // has the current one.
    LeanLayout lean = LeanLayout::kNone;
    uint64_t lean_id = 0;
    // Flat: array vertex i below the vertex count is vertex i, the rest are copies; each array
    // vertex carries the face normal and colour of the triangle that owns it (-1: none, a
    // shared vertex whose normal and colour flat shading never shows). A triangle's three
    // indices run round it in its own order, its owned corner last.
    std::vector<int32_t> owner;
    // The lean layout's indices until they are handed to GL (release_lean_indices), and how
    // many there are.
    std::vector<uint32_t> lean_indices;
    size_t lean_index_count = 0;
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

// True when an array was filled for other colours than the state's; and noting the state's.
bool colours_changed(const ColourChoice& choice, const EditorState& state);
void remember_colours(ColourChoice& choice, const EditorState& state);

// Makes `layout` the arrays' lean layout (dropping another one) unless it is already there;
// returns the number of array vertices. `need_indices`: the caller is going to read
// lean_indices, so a layout whose indices were released is made afresh.
size_t prepare_lean(DrawArrays& arrays, const ObjectMesh& mesh, LeanLayout layout,
                    bool need_indices);
// Frees the CPU copy of the lean indices once GL holds them.
void release_lean_indices(DrawArrays& arrays);

// The vertex data of the lean layout, written to `out` (one entry per array vertex) in order
// and never read back, since `out` may be memory GL has mapped. Normals are the fresh face
// normals (flat) or vertex normals (corners), as computed: GL scales them to unit length,
// which keeps flat shading to the bit of the per-triangle picture (normals scaled here first
// were seen to move a few pixels by one level). Colours are red, green, blue per array vertex.
void write_lean_positions(const DrawArrays& arrays, const ObjectMesh& mesh, Vec3* out);
void write_lean_normals(const DrawArrays& arrays, const ObjectMesh& mesh, Vec3* out);
void write_lean_colours(const DrawArrays& arrays, const EditorState& state, float* out);

}  // namespace warpkit

#pragma once
// The displayed shape laid out for OpenGL vertex arrays, so that a frame goes out in one draw
// call and still gives, pixel for pixel, the picture that one begin/end per triangle gives.
// Plain data and loops, no GL: the renderer points GL at what these functions hand back.
//
// Flat shading takes a triangle's normal and colour from its last vertex (the provoking vertex
// of GL_TRIANGLES), so every triangle needs an array vertex of its own there, carrying its
// face normal and colour. Smooth shading and wire frame carry colour along the corners, so
// each corner must have its triangle's colour: a vertex used by triangles of several colours
// is split into one array vertex per colour (array vertex i below the vertex count is vertex i,
// with the colour of the first triangle that uses it; the split copies follow).
//
// Two sets of layouts. The lean ones are what the program draws:
// - flat: array vertex k belongs to triangle k and sits on one of its corners, so the face
//   normals serve as the normal array just as the normal computation leaves them. Each
//   vertex is the own corner of some triangle (a matching of vertices to triangles), and a
//   triangle's other two corners are the array vertices of the triangles that own them; a
//   triangle is turned round (its way round kept) to end on its own corner. A vertex no
//   triangle can take gets an array vertex after the triangles' (then the normals are copied,
//   to make room for it).
// - smooth and wire frame: the corners above, drawn straight from the displayed shape and its
//   vertex normals unless vertices are split.
// The indices of a lean layout go to GL once; a draw then only gathers the flat positions.
//
// The client-array layouts are how earlier releases drew, kept as a reference: flat adds a copy
// of every triangle's last corner after the vertices, and wire frame draws lines, six indices
// a triangle. Everything is made at the first draw that needs it and reused after.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/editor_state.h"

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

// True when an array was filled for other colours than the state's; and noting the state's.
bool colours_changed(const ColourChoice& choice, const EditorState& state);
void remember_colours(ColourChoice& choice, const EditorState& state);

// Smooth and wire frame: [the vertices][split copies].
struct CornerLayout {
    bool built = false;
    std::vector<int32_t> split_vertex;  // split copy j repeats vertex split_vertex[j]
    std::vector<int32_t> colour;        // per array vertex: palette index, or -1 (object)
    std::vector<uint32_t> indices;      // three per drawable triangle
    std::vector<Vec3> positions;        // only when there are split copies
    std::vector<Vec3> normals;
    std::vector<float> colours;  // palette colours only
    ColourChoice colour_choice;
};

// Which lean layout a mode draws from.
enum class LeanLayout { kNone, kFlat, kCorners };

struct DrawArrays {
    // The mesh sizes the layouts were made for.
    size_t vertex_count = 0;
    size_t triangle_count = 0;
    size_t palette_size = 0;

    // Client arrays. Flat: [the vertices][one copy of each triangle's last corner], triangle
    // k's copy at vertex_count + k.
    std::vector<uint32_t> flat_indices;  // three per drawable triangle
    std::vector<Vec3> flat_positions;
    std::vector<Vec3> flat_normals;
    std::vector<float> flat_colours;  // palette colours only
    ColourChoice flat_colour_choice;
    CornerLayout corners;
    std::vector<uint32_t> edge_indices;  // six per drawable triangle: its outline as lines

    // Lean: only the layout last asked for is kept. Each one made gets a number no other gets,
    // so whoever keeps a copy of its indices (a GL context) can tell whether it still has it.
    LeanLayout lean = LeanLayout::kNone;
    uint64_t lean_id = 0;
    std::vector<uint32_t> lean_indices;  // until GL holds them (release_lean_indices)
    size_t lean_index_count = 0;
    CornerLayout lean_corners;  // its indices live in lean_indices
    // Flat: per triangle, the vertex its own array vertex sits on (-1: not drawn); the
    // vertices of the array vertices after the triangles'; their positions; the normals when
    // the face normals cannot serve; colours.
    std::vector<int32_t> own_vertex;
    std::vector<int32_t> extra_vertex;
    std::vector<Vec3> lean_positions;
    std::vector<Vec3> lean_normals;
    std::vector<float> lean_colours;  // palette colours only
    ColourChoice lean_colour_choice;
};

// The mesh's arrays, made empty when there are none yet or they were made for other sizes.
DrawArrays& draw_arrays_of(ObjectMesh& mesh);

// Client arrays: each prepares its arrays from the state's current shape and hands back the
// batch to draw; only the first call for a source allocates. Flat needs fresh face normals,
// smooth fresh vertex normals (model/normals.h). Triangles naming a vertex that does not
// exist are left out; a colour index outside the palette takes the object colour.
ArrayBatch prepare_flat(DrawArrays& arrays, const EditorState& state);
ArrayBatch prepare_smooth(DrawArrays& arrays, const EditorState& state);
// Lines: three per triangle, each edge in the direction the triangle's outline runs.
ArrayBatch prepare_wire_frame(DrawArrays& arrays, const EditorState& state);

// Lean: makes `layout` the arrays' lean layout (dropping another one) unless it is already
// there. `need_indices`: the caller is going to read lean_indices, so a layout whose indices
// were released is made afresh.
void prepare_lean(DrawArrays& arrays, const ObjectMesh& mesh, LeanLayout layout, bool need_indices);
// Frees the CPU copy of the lean indices once GL holds them.
void release_lean_indices(DrawArrays& arrays);
// The batch of the lean layout for the state's shape: flat gathers its positions (and copies
// the normals when it must), smooth and wire frame point at the displayed shape where no
// vertex is split. Needs the normals the mode shows, fresh. Its indices are lean_indices
// (empty once released) and lean_index_count.
ArrayBatch lean_batch(DrawArrays& arrays, const EditorState& state, bool with_normals);

}  // namespace warpkit

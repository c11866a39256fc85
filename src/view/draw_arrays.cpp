#include "view/draw_arrays.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

namespace warpkit {
namespace {

constexpr int32_t kUnused = std::numeric_limits<int32_t>::min();

template <typename T>
void release(std::vector<T>& v) {
    std::vector<T>().swap(v);
}

bool in_range(int32_t index, size_t count) {
    return index >= 0 && static_cast<size_t>(index) < count;
}

bool drawable(const Triangle& t, size_t vertex_count) {
    return in_range(t.v[0], vertex_count) && in_range(t.v[1], vertex_count) &&
           in_range(t.v[2], vertex_count);
}

// The palette entry a triangle is drawn in, or -1 for the object colour.
int32_t colour_of(const Triangle& t, size_t palette_size) {
    return in_range(t.colour, palette_size) ? t.colour : -1;
}

size_t palette_size(const ObjectMesh& mesh) {
    return std::min({mesh.palette_red.size(), mesh.palette_green.size(), mesh.palette_blue.size()});
}

void put_colour(const ObjectMesh& mesh, const float* object, int32_t colour, float* out) {
    if (colour >= 0) {
        out[0] = mesh.palette_red[colour];
        out[1] = mesh.palette_green[colour];
        out[2] = mesh.palette_blue[colour];
    } else {
        out[0] = object[0];
        out[1] = object[1];
        out[2] = object[2];
    }
}

void set_object_colour(ArrayBatch& batch, const EditorState& state) {
    std::copy(state.object_colour, state.object_colour + 3, batch.colour);
}

void copy_vec3(const Vec3* from, size_t count, Vec3* to) {
    if (count > 0) std::memcpy(to, from, count * sizeof(Vec3));
}

void build_flat_layout(DrawArrays& arrays, const ObjectMesh& mesh) {
    const size_t vertices = arrays.vertex_count;
    const size_t triangles = arrays.triangle_count;
    arrays.flat_indices.reserve(3 * triangles);
    for (size_t k = 0; k < triangles; ++k) {
        const Triangle& t = mesh.triangles[k];
        if (!drawable(t, vertices)) continue;
        arrays.flat_indices.push_back(static_cast<uint32_t>(t.v[0]));
        arrays.flat_indices.push_back(static_cast<uint32_t>(t.v[1]));
        arrays.flat_indices.push_back(static_cast<uint32_t>(vertices + k));
    }
    // The shared vertices' normals are lit but never shown; any finite value does.
    arrays.flat_positions.assign(vertices + triangles, Vec3{});
    arrays.flat_normals.assign(vertices + triangles, Vec3{0.0f, 0.0f, 1.0f});
}

void drop_corner_layout(DrawArrays& arrays) {
    arrays.corners_built = false;
    release(arrays.split_vertex);
    release(arrays.corner_colour);
    release(arrays.corner_indices);
    release(arrays.edge_indices);
    release(arrays.corner_positions);
    release(arrays.corner_normals);
    release(arrays.corner_colours);
    arrays.corner_colour_choice = ColourChoice{};
}

void build_corner_layout(DrawArrays& arrays, const ObjectMesh& mesh) {
    drop_corner_layout(arrays);
    arrays.corners_built = true;
    const size_t vertices = arrays.vertex_count;
    const size_t palette = arrays.palette_size;
    // Array vertex v's colour, and a chain through the split copies of each vertex.
    std::vector<int32_t>& colour = arrays.corner_colour;
    colour.assign(vertices, kUnused);
    std::vector<int32_t> next_copy(vertices, -1);
    arrays.corner_indices.reserve(3 * arrays.triangle_count);
    for (size_t k = 0; k < arrays.triangle_count; ++k) {
        const Triangle& t = mesh.triangles[k];
        if (!drawable(t, vertices)) continue;
        const int32_t wanted = colour_of(t, palette);
        for (int c = 0; c < 3; ++c) {
            int32_t at = t.v[c];
            if (colour[at] == kUnused) colour[at] = wanted;
            while (colour[at] != wanted && next_copy[at] >= 0) at = next_copy[at];
            if (colour[at] != wanted) {
                const auto copy = static_cast<int32_t>(colour.size());
                arrays.split_vertex.push_back(t.v[c]);
                colour.push_back(wanted);
                next_copy.push_back(-1);
                next_copy[at] = copy;
                at = copy;
            }
            arrays.corner_indices.push_back(static_cast<uint32_t>(at));
        }
    }
    // A vertex no triangle uses is never drawn; give it a colour all the same.
    std::replace(colour.begin(), colour.begin() + static_cast<std::ptrdiff_t>(vertices), kUnused,
                 -1);
    if (!arrays.split_vertex.empty()) {
        arrays.corner_positions.assign(colour.size(), Vec3{});
        arrays.corner_normals.assign(colour.size(), Vec3{});
    }
}

// Every array vertex's colour when the palette is in use.
const float* corner_colours(DrawArrays& arrays, const EditorState& state) {
    if (colours_changed(arrays.corner_colour_choice, state)) {
        arrays.corner_colours.resize(3 * arrays.corner_colour.size());
        for (size_t i = 0; i < arrays.corner_colour.size(); ++i) {
            put_colour(state.mesh, state.object_colour, arrays.corner_colour[i],
                       &arrays.corner_colours[3 * i]);
        }
        remember_colours(arrays.corner_colour_choice, state);
    }
    return arrays.corner_colours.data();
}

// Positions (and normals) of the split copies follow their vertices.
void fill_split_copies(DrawArrays& arrays, const std::vector<Vec3>& from, Vec3* to) {
    const size_t vertices = arrays.vertex_count;
    const Vec3* source = from.data();
    copy_vec3(source, vertices, to);
    const int32_t* split = arrays.split_vertex.data();
    Vec3* copies = to + vertices;
    for (size_t j = 0; j < arrays.split_vertex.size(); ++j) copies[j] = source[split[j]];
}

ArrayBatch prepare_corners(DrawArrays& arrays, const EditorState& state, bool with_normals) {
    const ObjectMesh& mesh = state.mesh;
    if (!arrays.corners_built) build_corner_layout(arrays, mesh);
    ArrayBatch batch;
    if (arrays.split_vertex.empty()) {
        batch.positions = mesh.displayed.data();
        if (with_normals) batch.normals = mesh.vertex_normals.data();
    } else {
        fill_split_copies(arrays, mesh.displayed, arrays.corner_positions.data());
        batch.positions = arrays.corner_positions.data();
        if (with_normals) {
            fill_split_copies(arrays, mesh.vertex_normals, arrays.corner_normals.data());
            batch.normals = arrays.corner_normals.data();
        }
    }
    if (state.use_object_colours != 0) {
        batch.colours = corner_colours(arrays, state);
    } else {
        set_object_colour(batch, state);
    }
    return batch;
}

// Flat: each drawable triangle, in order, owns a corner that no earlier triangle owns, its last
// one if it can (so most triangles keep their order of corners), else its first, else its
// second; a triangle whose three vertices are all owned gets a copy of its last corner.
// Turning a triangle's corners round keeps the way it faces.
void build_flat_lean_layout(DrawArrays& arrays, const ObjectMesh& mesh) {
    const size_t vertices = arrays.vertex_count;
    std::vector<int32_t>& owner = arrays.owner;
    owner.assign(vertices, -1);
    arrays.lean_indices.clear();
    arrays.lean_indices.reserve(3 * arrays.triangle_count);
    for (size_t k = 0; k < arrays.triangle_count; ++k) {
        const Triangle& t = mesh.triangles[k];
        if (!drawable(t, vertices)) continue;
        int last = -1;
        for (const int c : {2, 0, 1}) {
            if (owner[t.v[c]] < 0) {
                last = c;
                break;
            }
        }
        uint32_t own;
        if (last >= 0) {
            own = static_cast<uint32_t>(t.v[last]);
        } else {
            last = 2;
            own = static_cast<uint32_t>(owner.size());
            owner.push_back(-1);
        }
        owner[own] = static_cast<int32_t>(k);
        arrays.lean_indices.push_back(static_cast<uint32_t>(t.v[(last + 1) % 3]));
        arrays.lean_indices.push_back(static_cast<uint32_t>(t.v[(last + 2) % 3]));
        arrays.lean_indices.push_back(own);
    }
    owner.shrink_to_fit();
}

}  // namespace

bool colours_changed(const ColourChoice& choice, const EditorState& state) {
    return !choice.filled ||
           !std::equal(state.object_colour, state.object_colour + 3, choice.object);
}

void remember_colours(ColourChoice& choice, const EditorState& state) {
    choice.filled = true;
    std::copy(state.object_colour, state.object_colour + 3, choice.object);
}

size_t prepare_lean(DrawArrays& arrays, const ObjectMesh& mesh, LeanLayout layout,
                    bool need_indices) {
    const bool released = arrays.lean_indices.empty() && arrays.lean_index_count > 0;
    if (arrays.lean != layout || (need_indices && released)) {
        static std::atomic<uint64_t> next_id{1};
        if (layout == LeanLayout::kFlat) {
            drop_corner_layout(arrays);
            build_flat_lean_layout(arrays, mesh);
        } else {
            release(arrays.owner);
            build_corner_layout(arrays, mesh);
            // The corner indices become the lean ones; the client-array path makes its own
            // again should it ever draw.
            arrays.lean_indices.swap(arrays.corner_indices);
            arrays.corners_built = false;
        }
        arrays.lean = layout;
        arrays.lean_id = next_id++;
        arrays.lean_index_count = arrays.lean_indices.size();
    }
    return layout == LeanLayout::kFlat ? arrays.owner.size() : arrays.corner_colour.size();
}

void release_lean_indices(DrawArrays& arrays) {
    release(arrays.lean_indices);
}

void write_lean_positions(const DrawArrays& arrays, const ObjectMesh& mesh, Vec3* out) {
    const Vec3* displayed = mesh.displayed.data();
    const size_t vertices = arrays.vertex_count;
    copy_vec3(displayed, vertices, out);
    if (arrays.lean == LeanLayout::kFlat) {
        const Triangle* triangles = mesh.triangles.data();
        for (size_t i = vertices; i < arrays.owner.size(); ++i) {
            out[i] = displayed[triangles[arrays.owner[i]].v[2]];
        }
    } else {
        for (size_t j = 0; j < arrays.split_vertex.size(); ++j) {
            out[vertices + j] = displayed[arrays.split_vertex[j]];
        }
    }
}

void write_lean_normals(const DrawArrays& arrays, const ObjectMesh& mesh, Vec3* out) {
    if (arrays.lean == LeanLayout::kFlat) {
        // A vertex no triangle owns is lit but never shown; any direction does.
        const Vec3* faces = mesh.face_normals.data();
        for (size_t i = 0; i < arrays.owner.size(); ++i) {
            const int32_t k = arrays.owner[i];
            out[i] = k >= 0 ? faces[k] : Vec3{0.0f, 0.0f, 1.0f};
        }
        return;
    }
    const Vec3* normals = mesh.vertex_normals.data();
    const size_t vertices = arrays.vertex_count;
    copy_vec3(normals, vertices, out);
    for (size_t j = 0; j < arrays.split_vertex.size(); ++j) {
        out[vertices + j] = normals[arrays.split_vertex[j]];
    }
}

void write_lean_colours(const DrawArrays& arrays, const EditorState& state, float* out) {
    const ObjectMesh& mesh = state.mesh;
    if (arrays.lean == LeanLayout::kFlat) {
        for (size_t i = 0; i < arrays.owner.size(); ++i) {
            const int32_t k = arrays.owner[i];
            const int32_t colour = k >= 0 ? colour_of(mesh.triangles[k], arrays.palette_size) : -1;
            put_colour(mesh, state.object_colour, colour, out + 3 * i);
        }
        return;
    }
    for (size_t i = 0; i < arrays.corner_colour.size(); ++i) {
        put_colour(mesh, state.object_colour, arrays.corner_colour[i], out + 3 * i);
    }
}

DrawArrays& draw_arrays_of(ObjectMesh& mesh) {
    const size_t triangles = mesh.triangles.size();
    const size_t vertices = std::min(mesh.displayed.size(), mesh.vertex_normals.size());
    const size_t palette = palette_size(mesh);
    std::shared_ptr<DrawArrays>& arrays = mesh.draw_arrays;
    if (!arrays || arrays->vertex_count != vertices || arrays->triangle_count != triangles ||
        arrays->palette_size != palette) {
        arrays = std::make_shared<DrawArrays>();
        arrays->vertex_count = vertices;
        arrays->triangle_count = triangles;
        arrays->palette_size = palette;
    }
    return *arrays;
}

ArrayBatch prepare_flat(DrawArrays& arrays, const EditorState& state) {
    const ObjectMesh& mesh = state.mesh;
    const size_t vertices = arrays.vertex_count;
    const size_t triangles = arrays.triangle_count;
    if (arrays.flat_positions.empty() && vertices + triangles > 0) {
        build_flat_layout(arrays, mesh);
    }

    // The shared vertices, then each triangle's copy of its last corner with its face normal.
    Vec3* positions = arrays.flat_positions.data();
    copy_vec3(mesh.displayed.data(), vertices, positions);
    const Triangle* t = mesh.triangles.data();
    const Vec3* displayed = mesh.displayed.data();
    Vec3* copies = positions + vertices;
    for (size_t k = 0; k < triangles; ++k) {
        if (in_range(t[k].v[2], vertices)) copies[k] = displayed[t[k].v[2]];
    }
    if (mesh.face_normals.size() == triangles) {
        copy_vec3(mesh.face_normals.data(), triangles, arrays.flat_normals.data() + vertices);
    }

    ArrayBatch batch;
    batch.positions = positions;
    batch.normals = arrays.flat_normals.data();
    batch.indices = arrays.flat_indices.data();
    batch.index_count = arrays.flat_indices.size();
    if (state.use_object_colours == 0) {
        set_object_colour(batch, state);
        return batch;
    }
    if (colours_changed(arrays.flat_colour_choice, state)) {
        arrays.flat_colours.assign(3 * (vertices + triangles), 0.0f);
        float* own = arrays.flat_colours.data() + 3 * vertices;
        for (size_t k = 0; k < triangles; ++k) {
            put_colour(mesh, state.object_colour, colour_of(t[k], arrays.palette_size),
                       own + 3 * k);
        }
        remember_colours(arrays.flat_colour_choice, state);
    }
    batch.colours = arrays.flat_colours.data();
    return batch;
}

ArrayBatch prepare_smooth(DrawArrays& arrays, const EditorState& state) {
    ArrayBatch batch = prepare_corners(arrays, state, true);
    batch.indices = arrays.corner_indices.data();
    batch.index_count = arrays.corner_indices.size();
    return batch;
}

ArrayBatch prepare_wire_frame(DrawArrays& arrays, const EditorState& state) {
    ArrayBatch batch = prepare_corners(arrays, state, false);
    if (arrays.edge_indices.empty() && !arrays.corner_indices.empty()) {
        const std::vector<uint32_t>& corners = arrays.corner_indices;
        arrays.edge_indices.reserve(2 * corners.size());
        for (size_t k = 0; k < corners.size(); k += 3) {
            const uint32_t a = corners[k], b = corners[k + 1], c = corners[k + 2];
            for (const uint32_t i : {a, b, b, c, c, a}) arrays.edge_indices.push_back(i);
        }
    }
    batch.indices = arrays.edge_indices.data();
    batch.index_count = arrays.edge_indices.size();
    return batch;
}

}  // namespace warpkit

#include "model/draw_arrays.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

#include "model/free_array.h"
#include "model/object_mesh.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace warpkit {
namespace {

constexpr int32_t kUnused = std::numeric_limits<int32_t>::min();

// The C library keeps freed memory for later allocations; large arrays freed in the middle of
// its heap stay in the process's memory unless handed back.
void give_back_freed_memory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
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

void drop_corner_layout(CornerLayout& layout) {
    layout = CornerLayout{};
}

void build_corner_layout(CornerLayout& layout, const DrawArrays& arrays, const ObjectMesh& mesh) {
    drop_corner_layout(layout);
    layout.built = true;
    const size_t vertices = arrays.vertex_count;
    const size_t palette = arrays.palette_size;
    // Array vertex v's colour, and a chain through the split copies of each vertex.
    std::vector<int32_t>& colour = layout.colour;
    colour.assign(vertices, kUnused);
    std::vector<int32_t> next_copy(vertices, -1);
    layout.indices.reserve(3 * arrays.triangle_count);
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
                layout.split_vertex.push_back(t.v[c]);
                colour.push_back(wanted);
                next_copy.push_back(-1);
                next_copy[at] = copy;
                at = copy;
            }
            layout.indices.push_back(static_cast<uint32_t>(at));
        }
    }
    // A vertex no triangle uses is never drawn; give it a colour all the same.
    std::replace(colour.begin(), colour.begin() + static_cast<std::ptrdiff_t>(vertices), kUnused,
                 -1);
    if (!layout.split_vertex.empty()) {
        layout.positions.assign(colour.size(), Vec3{});
        layout.normals.assign(colour.size(), Vec3{});
    }
}

// Every array vertex's colour when the palette is in use.
const float* corner_colours(CornerLayout& layout, const EditorState& state) {
    if (colours_changed(layout.colour_choice, state)) {
        layout.colours.resize(3 * layout.colour.size());
        for (size_t i = 0; i < layout.colour.size(); ++i) {
            put_colour(state.mesh, state.object_colour, layout.colour[i], &layout.colours[3 * i]);
        }
        remember_colours(layout.colour_choice, state);
    }
    return layout.colours.data();
}

// Positions (and normals) of the split copies follow their vertices.
void fill_split_copies(const CornerLayout& layout, size_t vertices, const std::vector<Vec3>& from,
                       Vec3* to) {
    const Vec3* source = from.data();
    copy_vec3(source, vertices, to);
    const int32_t* split = layout.split_vertex.data();
    Vec3* copies = to + vertices;
    for (size_t j = 0; j < layout.split_vertex.size(); ++j) copies[j] = source[split[j]];
}

ArrayBatch corner_batch(CornerLayout& layout, size_t vertices, const EditorState& state,
                        bool with_normals) {
    const ObjectMesh& mesh = state.mesh;
    ArrayBatch batch;
    if (layout.split_vertex.empty()) {
        batch.positions = mesh.displayed.data();
        if (with_normals) batch.normals = mesh.vertex_normals.data();
    } else {
        fill_split_copies(layout, vertices, mesh.displayed, layout.positions.data());
        batch.positions = layout.positions.data();
        if (with_normals) {
            fill_split_copies(layout, vertices, mesh.vertex_normals, layout.normals.data());
            batch.normals = layout.normals.data();
        }
    }
    if (state.use_object_colours != 0) {
        batch.colours = corner_colours(layout, state);
    } else {
        set_object_colour(batch, state);
    }
    return batch;
}

ArrayBatch prepare_corners(DrawArrays& arrays, const EditorState& state, bool with_normals) {
    if (!arrays.corners.built) build_corner_layout(arrays.corners, arrays, state.mesh);
    return corner_batch(arrays.corners, arrays.vertex_count, state, with_normals);
}

// Which vertex each triangle owns: a matching of the used vertices to distinct triangles that
// name them, so each vertex becomes the own corner of one triangle. Vertices with the fewest
// triangles choose first; a vertex left without one then looks for a chain of triangles to
// shift along (an augmenting path), searched only so far. Returns, per triangle, the vertex it
// owns or -1; a vertex that gets none is marked in `unmatched`.
std::vector<int32_t> match_vertices(const DrawArrays& arrays, const ObjectMesh& mesh,
                                    std::vector<int32_t>& unmatched) {
    const size_t vertices = arrays.vertex_count;
    const size_t triangles = arrays.triangle_count;
    // The vertex-triangle lists say which triangles name each vertex; the vertex-triangle
    // lists of the mesh, when they were made for these sizes, else made here.
    std::vector<int32_t> own_start, own_list;
    const bool have_lists =
        mesh.list_start.size() == vertices + 1 &&
        static_cast<size_t>(mesh.list_start[vertices]) == mesh.triangle_list.size();
    if (!have_lists) {
        build_vertex_triangle_lists(static_cast<int32_t>(vertices), mesh.triangles, own_start,
                                    own_list);
    }
    const int32_t* start = have_lists ? mesh.list_start.data() : own_start.data();
    const int32_t* around = have_lists ? mesh.triangle_list.data() : own_list.data();
    const auto usable = [&](int32_t k) {
        return static_cast<size_t>(k) < triangles && drawable(mesh.triangles[k], vertices);
    };
    // fewest triangles first (counting sort by degree)
    int32_t most = 0;
    for (size_t i = 0; i < vertices; ++i) most = std::max(most, start[i + 1] - start[i]);
    std::vector<int32_t> first(static_cast<size_t>(most) + 2, 0);
    for (size_t i = 0; i < vertices; ++i) ++first[start[i + 1] - start[i] + 1];
    for (int32_t d = 0; d <= most; ++d) first[d + 1] += first[d];
    std::vector<int32_t> order(vertices);
    for (size_t i = 0; i < vertices; ++i) {
        order[first[start[i + 1] - start[i]]++] = static_cast<int32_t>(i);
    }

    std::vector<int32_t> owned(triangles, -1);  // triangle -> vertex
    std::vector<int32_t> owner(vertices, -1);   // vertex -> triangle
    for (const int32_t v : order) {
        for (int32_t a = start[v]; a < start[v + 1]; ++a) {
            if (usable(around[a]) && owned[around[a]] < 0) {
                owned[around[a]] = v;
                owner[v] = around[a];
                break;
            }
        }
    }
    // augmenting paths, breadth first from each vertex left over
    constexpr size_t kSearchLimit = 4096;
    std::vector<uint32_t> seen(triangles, 0);
    std::vector<std::pair<int32_t, int32_t>> queue;  // (triangle, index of the step before)
    uint32_t search = 0;
    for (const int32_t v : order) {
        if (owner[v] >= 0) continue;
        ++search;
        queue.clear();
        for (int32_t a = start[v]; a < start[v + 1]; ++a) {
            if (usable(around[a]) && seen[around[a]] != search) {
                seen[around[a]] = search;
                queue.emplace_back(around[a], -1);
            }
        }
        int32_t found = -1;
        for (size_t q = 0; q < queue.size() && queue.size() < kSearchLimit; ++q) {
            const int32_t holder = owned[queue[q].first];
            for (int32_t a = start[holder]; a < start[holder + 1]; ++a) {
                const int32_t k = around[a];
                if (!usable(k) || seen[k] == search) continue;
                seen[k] = search;
                queue.emplace_back(k, static_cast<int32_t>(q));
                if (owned[k] < 0) {
                    found = static_cast<int32_t>(queue.size() - 1);
                    break;
                }
            }
            if (found >= 0) break;
        }
        if (found < 0) {
            if (!queue.empty())
                unmatched.push_back(v);  // a vertex no drawn triangle names needs none
            continue;
        }
        // shift ownership along the path back to v
        for (int32_t q = found; q >= 0; q = queue[q].second) {
            const int32_t before = queue[q].second;
            const int32_t vertex = before >= 0 ? owned[queue[before].first] : v;
            owned[queue[q].first] = vertex;
            owner[vertex] = queue[q].first;
        }
    }
    return owned;
}

// The lean flat layout (see the header).
void build_flat_lean_layout(DrawArrays& arrays, const ObjectMesh& mesh) {
    const size_t vertices = arrays.vertex_count;
    const size_t triangles = arrays.triangle_count;
    std::vector<int32_t> unmatched;
    std::vector<int32_t> owned = match_vertices(arrays, mesh, unmatched);
    // where each vertex is found: the array vertex of its triangle, or one of its own
    std::vector<uint32_t> at(vertices, 0);
    for (size_t k = 0; k < triangles; ++k) {
        if (owned[k] >= 0) at[owned[k]] = static_cast<uint32_t>(k);
    }
    arrays.extra_vertex = std::move(unmatched);
    for (size_t e = 0; e < arrays.extra_vertex.size(); ++e) {
        at[arrays.extra_vertex[e]] = static_cast<uint32_t>(triangles + e);
    }
    arrays.own_vertex.assign(triangles, -1);
    arrays.lean_indices.clear();
    arrays.lean_indices.reserve(3 * triangles);
    for (size_t k = 0; k < triangles; ++k) {
        const Triangle& t = mesh.triangles[k];
        if (!drawable(t, vertices)) continue;
        int last = 2;
        for (int c = 0; c < 3; ++c) {
            if (t.v[c] == owned[k]) last = c;
        }
        arrays.own_vertex[k] = t.v[last];
        arrays.lean_indices.push_back(at[t.v[(last + 1) % 3]]);
        arrays.lean_indices.push_back(at[t.v[(last + 2) % 3]]);
        arrays.lean_indices.push_back(static_cast<uint32_t>(k));
    }
    const size_t array_vertices = triangles + arrays.extra_vertex.size();
    arrays.lean_positions.assign(array_vertices, Vec3{});
    // The extra vertices' normals are lit but never shown; any finite value does.
    if (!arrays.extra_vertex.empty()) {
        arrays.lean_normals.assign(array_vertices, Vec3{0.0f, 0.0f, 1.0f});
    }
}

ArrayBatch flat_lean_batch(DrawArrays& arrays, const EditorState& state) {
    const ObjectMesh& mesh = state.mesh;
    const size_t triangles = arrays.triangle_count;
    const Vec3* displayed = mesh.displayed.data();
    Vec3* positions = arrays.lean_positions.data();
    const int32_t* own = arrays.own_vertex.data();
    for (size_t k = 0; k < triangles; ++k) {
        if (own[k] >= 0) positions[k] = displayed[own[k]];
    }
    for (size_t e = 0; e < arrays.extra_vertex.size(); ++e) {
        positions[triangles + e] = displayed[arrays.extra_vertex[e]];
    }
    ArrayBatch batch;
    batch.positions = positions;
    if (arrays.extra_vertex.empty()) {
        batch.normals = mesh.face_normals.data();
    } else {
        copy_vec3(mesh.face_normals.data(), std::min(triangles, mesh.face_normals.size()),
                  arrays.lean_normals.data());
        batch.normals = arrays.lean_normals.data();
    }
    if (state.use_object_colours == 0) {
        set_object_colour(batch, state);
        return batch;
    }
    if (colours_changed(arrays.lean_colour_choice, state)) {
        arrays.lean_colours.assign(3 * arrays.lean_positions.size(), 0.0f);
        for (size_t i = 0; i < arrays.lean_positions.size(); ++i) {
            const int32_t colour =
                i < triangles ? colour_of(mesh.triangles[i], arrays.palette_size) : -1;
            put_colour(mesh, state.object_colour, colour, &arrays.lean_colours[3 * i]);
        }
        remember_colours(arrays.lean_colour_choice, state);
    }
    batch.colours = arrays.lean_colours.data();
    return batch;
}

void drop_flat_lean_layout(DrawArrays& arrays) {
    free_array(arrays.own_vertex);
    free_array(arrays.extra_vertex);
    free_array(arrays.lean_positions);
    free_array(arrays.lean_normals);
    free_array(arrays.lean_colours);
    arrays.lean_colour_choice = ColourChoice{};
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

void prepare_lean(DrawArrays& arrays, const ObjectMesh& mesh, LeanLayout layout,
                  bool need_indices) {
    const bool released = arrays.lean_indices.empty() && arrays.lean_index_count > 0;
    if (arrays.lean == layout && !(need_indices && released)) return;
    static std::atomic<uint64_t> next_id{1};
    drop_corner_layout(arrays.lean_corners);
    drop_flat_lean_layout(arrays);
    // What the last layout (or a load just finished) let go is handed back before the next
    // layout is made, so the two never count twice in the memory the program holds.
    give_back_freed_memory();
    if (layout == LeanLayout::kFlat) {
        build_flat_lean_layout(arrays, mesh);
    } else {
        build_corner_layout(arrays.lean_corners, arrays, mesh);
        arrays.lean_indices.swap(arrays.lean_corners.indices);
    }
    arrays.lean = layout;
    arrays.lean_id = next_id++;
    arrays.lean_index_count = arrays.lean_indices.size();
}

void release_lean_indices(DrawArrays& arrays) {
    free_array(arrays.lean_indices);
}

ArrayBatch lean_batch(DrawArrays& arrays, const EditorState& state, bool with_normals) {
    ArrayBatch batch =
        arrays.lean == LeanLayout::kFlat
            ? flat_lean_batch(arrays, state)
            : corner_batch(arrays.lean_corners, arrays.vertex_count, state, with_normals);
    if (!with_normals) batch.normals = nullptr;
    batch.indices = arrays.lean_indices.data();
    batch.index_count = arrays.lean_index_count;
    return batch;
}

DrawArrays& draw_arrays_of(ObjectMesh& mesh) {
    const size_t triangles = mesh.triangles.size();
    const size_t vertices = mesh.displayed.size();
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
    batch.indices = arrays.corners.indices.data();
    batch.index_count = arrays.corners.indices.size();
    return batch;
}

ArrayBatch prepare_wire_frame(DrawArrays& arrays, const EditorState& state) {
    ArrayBatch batch = prepare_corners(arrays, state, false);
    if (arrays.edge_indices.empty() && !arrays.corners.indices.empty()) {
        const std::vector<uint32_t>& corners = arrays.corners.indices;
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

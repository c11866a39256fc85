#include "session/session_history.h"

#include <algorithm>
#include <cassert>
#include <numeric>
#include <utility>

#include "model/free_array.h"
#include "model/normals.h"
#include "model/object_mesh.h"

namespace warpkit {

namespace {

template <typename T>
size_t bytes_of(const std::vector<T>& array) {
    return array.capacity() * sizeof(T);
}

size_t bytes_of(const TargetSlot& slot) {
    return bytes_of(slot.vertices) + bytes_of(slot.keys.frames) + bytes_of(slot.keys.weights) +
           slot.path.capacity() + slot.name.capacity();
}

size_t bytes_of(const WeightView& view) {
    size_t bytes = 0;
    for (const WeightRow& row : view.rows) bytes += row.text.capacity();
    return bytes;
}

// Whatever a held mesh can do without: the shape, the normals and the lists are
// all worked out again from the source positions and the triangles.
void shed_derived(ObjectMesh& mesh) {
    free_array(mesh.displayed);
    free_array(mesh.face_normals);
    release_vertex_normals(mesh);
    mesh.draw_arrays.reset();
}

// Sizes the arrays shed_derived let go, as InitSource sizes them, and shows the plain source.
void rebuild_derived(EditorState& state) {
    if (!state.source_loaded()) return;
    ObjectMesh& mesh = state.mesh;
    mesh.displayed = state.slots[0].vertices;
    // The vertex normals and their lists come back with the first smooth draw, as after a load.
    mesh.face_normals.assign(mesh.triangles.size(), Vec3{});
    mesh.draw_arrays.reset();
}

void swap_setup(EditorState& state, SourceSetup& setup) {
    using std::swap;
    swap(state.vertex_count, setup.vertex_count);
    swap(state.triangle_count, setup.triangle_count);
    swap(state.mesh, setup.mesh);
    swap(state.view_centre, setup.view_centre);
    swap(state.view_distance, setup.view_distance);
    swap(state.yaw, setup.yaw);
    swap(state.pitch, setup.pitch);
    for (size_t c = 0; c < 3; ++c) swap(state.object_colour[c], setup.object_colour[c]);
    swap(state.max_frame, setup.max_frame);
    // The weights belong to the rows, which stay: only the objects and their keys change sides.
    for (size_t k = 0; k < state.slots.size(); ++k) {
        const float weight = state.slots[k].weight;
        swap(state.slots[k], setup.slots[k]);
        state.slots[k].weight = weight;
    }
}

void exchange_source(EditorState& state, SourceSetup& setup) {
    swap_setup(state, setup);
    shed_derived(setup.mesh);
    rebuild_derived(state);
}

// Puts the key on `frame` into the state `weight` says: none, or a key of that weight.
void put_key(KeyTrack& track, int32_t frame, const std::optional<float>& weight) {
    const auto at = std::find(track.frames.begin(), track.frames.end(), frame);
    const auto index = at - track.frames.begin();
    if (!weight) {
        if (at == track.frames.end()) return;
        track.frames.erase(at);
        track.weights.erase(track.weights.begin() + index);
    } else if (at == track.frames.end()) {
        make_key(track, frame, *weight);
    } else {
        track.weights[static_cast<size_t>(index)] = *weight;
    }
}

void show_view_state(EditorState& state, const WeightView& view) {
    state.current_frame = view.current_frame;
    for (int k = 1; k <= kTargetCount; ++k) state.slots[k].weight = view.rows[k].weight;
}

void apply(EditorState& state, EditStep& step, bool undo) {
    struct Apply {
        EditorState& state;
        bool undo;
        void operator()(KeyEdit& edit) const {
            put_key(state.slots[edit.slot].keys, edit.frame, undo ? edit.before : edit.after);
        }
        void operator()(MaxFrameEdit& edit) const {
            state.max_frame = undo ? edit.before : edit.after;
        }
        void operator()(TargetEdit& edit) const { std::swap(state.slots[edit.slot], edit.other); }
        void operator()(SourceEdit& edit) const { exchange_source(state, edit.other); }
    };
    std::visit(Apply{state, undo}, step.change);
    show_view_state(state, undo ? step.before : step.after);
}

}  // namespace

TargetEdit move_out_target(EditorState& state, int k) {
    assert(k >= 1 && k <= kTargetCount);
    TargetSlot& slot = state.slots[k];
    TargetEdit edit;
    edit.slot = k;
    edit.other.loaded = slot.loaded;
    edit.other.path = slot.path;
    edit.other.name = slot.name;
    edit.other.weight = slot.weight;
    edit.other.vertices = std::move(slot.vertices);
    edit.other.keys = std::move(slot.keys);
    slot.vertices.clear();
    slot.keys.clear();
    return edit;
}

SourceEdit move_out_source(EditorState& state) {
    SourceEdit edit;
    swap_setup(state, edit.other);
    // the timeline stays as it is unless the load sets it
    state.max_frame = edit.other.max_frame;
    shed_derived(edit.other.mesh);
    return edit;
}

void undo_step(EditorState& state, EditStep& step) {
    apply(state, step, true);
}

void redo_step(EditorState& state, EditStep& step) {
    apply(state, step, false);
}

size_t held_bytes(const EditStep& step) {
    struct Held {
        size_t operator()(const KeyEdit&) const { return 0; }
        size_t operator()(const MaxFrameEdit&) const { return 0; }
        size_t operator()(const TargetEdit& edit) const { return bytes_of(edit.other); }
        size_t operator()(const SourceEdit& edit) const {
            const ObjectMesh& mesh = edit.other.mesh;
            size_t bytes = bytes_of(mesh.triangles) + bytes_of(mesh.palette_red) +
                           bytes_of(mesh.palette_green) + bytes_of(mesh.palette_blue);
            for (const TargetSlot& slot : edit.other.slots) bytes += bytes_of(slot);
            return bytes;
        }
    };
    return sizeof(EditStep) + std::visit(Held{}, step.change) + bytes_of(step.before) +
           bytes_of(step.after);
}

HistoryTrim trim_history(const std::vector<size_t>& held, size_t index, size_t cap) {
    assert(index <= held.size());
    HistoryTrim trim;
    size_t total = std::accumulate(held.begin(), held.end(), size_t{0});
    while (total > cap && trim.oldest < index) total -= held[trim.oldest++];
    while (total > cap && trim.newest < held.size() - index) {
        total -= held[held.size() - 1 - trim.newest++];
    }
    return trim;
}

}  // namespace warpkit

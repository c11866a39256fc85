#include "app/session.h"

#include <cassert>

#include "model/object_mesh.h"

namespace warpkit {

namespace {

void empty_target(TargetSlot& slot) {
    slot.loaded = 0;
    slot.vertices.clear();
    slot.vertices.shrink_to_fit();
    slot.keys.clear();
}

}  // namespace

void install_source(EditorState& state, const std::string& path, const ReadResult& source) {
    assert(source.vertex_count > 0);
    if (state.source_loaded()) release_source(state);
    for (int k = 1; k <= kTargetCount; ++k) empty_target(state.slots[k]);

    state.vertex_count = source.vertex_count;
    state.triangle_count = source.triangle_count;
    TargetSlot& slot = state.slots[0];
    slot.path = path;
    slot.name = source.object_name;
    slot.loaded = 1;
    slot.vertices = source.vertices;
    InitSource(state, source);
    state.modified = 1;
}

void install_target(EditorState& state, int k, const std::string& path, const ReadResult& target) {
    assert(k >= 1 && k <= kTargetCount);
    assert(state.source_loaded() && target.vertex_count == state.vertex_count);
    TargetSlot& slot = state.slots[k];
    const std::vector<Vec3>& source = state.slots[0].vertices;
    slot.vertices.resize(static_cast<size_t>(state.vertex_count));
    for (size_t i = 0; i < slot.vertices.size(); ++i) {
        slot.vertices[i].x = target.vertices[i].x - source[i].x;
        slot.vertices[i].y = target.vertices[i].y - source[i].y;
        slot.vertices[i].z = target.vertices[i].z - source[i].z;
    }
    slot.loaded = 1;
    slot.path = path;
    slot.name = target.object_name;
    slot.keys.frames.assign(1, 0);
    slot.keys.weights.assign(1, 0.0f);
    state.modified = 1;
}

void remove_target(EditorState& state, int k) {
    assert(k >= 1 && k <= kTargetCount);
    empty_target(state.slots[k]);
    state.modified = 1;
}

void clear_session(EditorState& state) {
    if (state.source_loaded()) release_source(state);
    for (int k = 1; k <= kTargetCount; ++k) empty_target(state.slots[k]);
    state.modified = 0;
}

}  // namespace warpkit

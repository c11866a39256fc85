#include "session/session.h"

#include <cassert>

#include "model/finite_points.h"
#include "model/object_mesh.h"
#include "project/project_file.h"

namespace warpkit {

namespace {

SlotCheck refused_at(SlotRefusal refusal, int64_t vertex, const Vec3& value) {
    SlotCheck check;
    check.refusal = refusal;
    check.vertex = static_cast<int32_t>(vertex);
    check.value = value;
    return check;
}

// The refusal for a non-finite coordinate of `object`, or a check that passed.
SlotCheck check_coordinates(const ReadResult& object) {
    const std::vector<Vec3>& vertices = object.vertices;
    const int64_t bad = first_non_finite(vertices.data(), 0, vertices.size());
    if (bad >= 0) {
        return refused_at(SlotRefusal::kNonFiniteVertex, bad, vertices[static_cast<size_t>(bad)]);
    }
    SlotCheck check;
    check.name_recordable = project_can_record_name(object.object_name);
    return check;
}

}  // namespace

BilingualText SlotCheck::reason() const {
    const double x = value.x, y = value.y, z = value.z;
    switch (refusal) {
        case SlotRefusal::kNonFiniteVertex:
            return format_both({"頂点 %d の座標に有限でない数があります：(%g, %g, %g)",
                                "the coordinates of vertex %d are not all finite numbers: "
                                "(%g, %g, %g)"},
                               vertex, x, y, z);
        case SlotRefusal::kNonFiniteOffset:
            return format_both({"頂点 %d のソースからの変位が有限の数になりません：(%g, %g, %g)",
                                "the offset of vertex %d from the source is not finite: "
                                "(%g, %g, %g)"},
                               vertex, x, y, z);
        case SlotRefusal::kNone:
        case SlotRefusal::kNoVertices:
        case SlotRefusal::kVertexCount:
            break;
    }
    return {};
}

SlotCheck check_source_object(const ReadResult& source) {
    if (source.vertex_count <= 0) return refused_at(SlotRefusal::kNoVertices, 0, Vec3{});
    return check_coordinates(source);
}

SlotCheck check_target_object(const std::vector<Vec3>& source, const ReadResult& target) {
    // a target of another count is refused for it, unscanned
    const int64_t scanned =
        target.vertices.size() == source.size()
            ? first_non_finite_offset(target.vertices.data(), source.data(), 0, source.size())
            : -1;
    return check_scanned_target(source, target, scanned);
}

SlotCheck check_scanned_target(const std::vector<Vec3>& source, const ReadResult& target,
                               int64_t first_non_finite_offset) {
    if (target.vertex_count < 0 || static_cast<size_t>(target.vertex_count) != source.size() ||
        target.vertices.size() != source.size()) {
        return refused_at(SlotRefusal::kVertexCount, 0, Vec3{});
    }
    // With a finite source a coordinate that is not finite gives an offset that is not either,
    // so the one scan finds both faults; only then is the target itself looked at, as a
    // damaged file says more than an overflow.
    if (first_non_finite_offset >= 0) {
        const SlotCheck damaged = check_coordinates(target);
        if (!damaged.ok()) return damaged;
        const auto i = static_cast<size_t>(first_non_finite_offset);
        return refused_at(SlotRefusal::kNonFiniteOffset, first_non_finite_offset,
                          offset_from(target.vertices[i], source[i]));
    }
    SlotCheck check;
    check.name_recordable = project_can_record_name(target.object_name);
    return check;
}

namespace {

void empty_target(TargetSlot& slot) {
    slot.loaded = 0;
    slot.vertices.clear();
    slot.vertices.shrink_to_fit();
    slot.keys.clear();
}

// Offsets target - source, written over `offsets`, which may be the target's own positions.
void make_offsets(const std::vector<Vec3>& source, const std::vector<Vec3>& target,
                  std::vector<Vec3>& offsets) {
    offsets.resize(source.size());
    for (size_t i = 0; i < offsets.size(); ++i) {
        offsets[i].x = target[i].x - source[i].x;
        offsets[i].y = target[i].y - source[i].y;
        offsets[i].z = target[i].z - source[i].z;
    }
}

// Everything of a target slot but its offsets.
void finish_target(EditorState& state, int k, const std::string& path, const ReadResult& target) {
    TargetSlot& slot = state.slots[k];
    slot.loaded = 1;
    slot.path = path;
    slot.name = target.object_name;
    slot.keys.frames.assign(1, 0);
    slot.keys.weights.assign(1, 0.0f);
    state.modified = 1;
}

}  // namespace

void install_source(EditorState& state, const std::string& path, const ReadResult& source) {
    install_source(state, path, ReadResult(source));
}

void install_source(EditorState& state, const std::string& path, ReadResult&& source) {
    assert(check_source_object(source).ok());
    if (state.source_loaded()) release_source(state);
    for (int k = 1; k <= kTargetCount; ++k) empty_target(state.slots[k]);

    state.vertex_count = source.vertex_count;
    state.triangle_count = source.triangle_count;
    TargetSlot& slot = state.slots[0];
    slot.path = path;
    slot.name = source.object_name;
    slot.loaded = 1;
    slot.vertices = std::move(source.vertices);
    InitSource(state, std::move(source));
    state.modified = 1;
}

void install_target(EditorState& state, int k, const std::string& path, const ReadResult& target) {
    assert(k >= 1 && k <= kTargetCount);
    assert(state.source_loaded() && check_target_object(state.slots[0].vertices, target).ok());
    make_offsets(state.slots[0].vertices, target.vertices, state.slots[k].vertices);
    finish_target(state, k, path, target);
}

void install_target(EditorState& state, int k, const std::string& path, ReadResult&& target) {
    assert(k >= 1 && k <= kTargetCount);
    assert(state.source_loaded() && check_target_object(state.slots[0].vertices, target).ok());
    make_offsets(state.slots[0].vertices, target.vertices, target.vertices);
    state.slots[k].vertices = std::move(target.vertices);
    finish_target(state, k, path, target);
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

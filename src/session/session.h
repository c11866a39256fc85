#pragma once
// The slot operations on the session, without any window: what a source load, a target load,
// a target removal and a new project do to EditorState. The window commands ask the
// questions first and call these last, so a refused or cancelled command changes nothing.
#include <string>
#include <vector>

#include "base/bilingual_text.h"
#include "base/editor_state.h"
#include "model/qxm_reader.h"

namespace warpkit {

// Why an object read from a file cannot go into a slot. Every way of filling a slot (the slot
// commands, a project load, a reader of any format that hands back a ReadResult) asks
// check_source_object or check_target_object first and installs only what passes.
enum class SlotRefusal {
    kNone,
    kNoVertices,       // as a source
    kVertexCount,      // as a target: another vertex count than the source's
    kNonFiniteVertex,  // a coordinate is NaN or infinite: the file is damaged
    kNonFiniteOffset,  // as a target: target - source overflows at some vertex
};

struct SlotCheck {
    SlotRefusal refusal = SlotRefusal::kNone;
    int32_t vertex = 0;  // kNonFinite*: the first vertex at fault (0-based, as triangles count)
    Vec3 value;          // kNonFiniteVertex: its position; kNonFiniteOffset: its offset
    // False when the object loads but no project file can record its name (a blank in it), so
    // the user learns it now rather than at the first save.
    bool name_recordable = true;

    bool ok() const { return refusal == SlotRefusal::kNone; }
    // kNonFinite*: what is wrong at the vertex ("the coordinates of vertex 3 are not all finite
    // numbers: (nan, 0, 1)"); empty for the other refusals, whose messages are fixed texts.
    BilingualText reason() const;
};

// Whether `source` can be the source: it has vertices and every coordinate is finite.
SlotCheck check_source_object(const ReadResult& source);

// Whether `target` can be a target of the source whose positions are `source`: the same vertex
// count, every coordinate finite, and every offset target - source (as install_target works it
// out, in float) finite.
SlotCheck check_target_object(const std::vector<Vec3>& source, const ReadResult& target);
// The same check when the target's offsets were scanned as it was read (ObjectFileReader::
// ReadPositions with the source as base): `first_non_finite_offset` is that scan's answer.
SlotCheck check_scanned_target(const std::vector<Vec3>& source, const ReadResult& target,
                               int64_t first_non_finite_offset);

// Replaces the whole shape: every loaded target is emptied, the source slot takes the object
// read from `path`, the mesh and the starting view are built. Precondition:
// check_source_object(source).ok(). Sets the modified flag.
void install_source(EditorState& state, const std::string& path, const ReadResult& source);
// The same, taking the object's arrays instead of copying them.
void install_source(EditorState& state, const std::string& path, ReadResult&& source);

// Fills target slot k (1..8) with offsets target - source and one key (0, 0.0).
// Precondition: a source is loaded and check_target_object(source positions, target).ok().
// Sets the modified flag.
void install_target(EditorState& state, int k, const std::string& path, const ReadResult& target);
// The same, turning the object's positions into the offsets in place.
void install_target(EditorState& state, int k, const std::string& path, ReadResult&& target);

// Empties target slot k. Sets the modified flag.
void remove_target(EditorState& state, int k);

// Empties every slot (source included) and clears the modified flag; frames, display
// settings, view and folders stay.
void clear_session(EditorState& state);

}  // namespace warpkit

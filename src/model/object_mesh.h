#pragma once
// Builds the mesh of a freshly read source: displayed shape, view, palette and the
// vertex-triangle lists the normals are summed along.
#include "base/editor_state.h"
#include "model/qxm_reader.h"

namespace warpkit {

// Sets up the mesh and the starting view from the source just read. Preconditions:
// state.vertex_count/triangle_count are the result's counts, slots[0].vertices holds its
// positions, and vertex_count > 0 (an empty source is refused before this is called).
// Allocates every per-source array the blend and flat shading use, so they never allocate;
// the vertex normals and the vertex-triangle lists wait for the first smooth draw.
int32_t InitSource(EditorState& state, const ReadResult& source);
// The same, taking the source's triangles instead of copying them.
int32_t InitSource(EditorState& state, ReadResult&& source);

// Builds the vertex-triangle lists in time linear in vertices + triangles:
// ascending triangle indices, each triangle once per vertex.
void build_vertex_triangle_lists(int32_t vertex_count, const std::vector<Triangle>& triangles,
                                 std::vector<int32_t>& list_start,
                                 std::vector<int32_t>& triangle_list);

// Releases everything InitSource made (slot 0's positions too) and marks the source unloaded.
void release_source(EditorState& state);

}  // namespace warpkit

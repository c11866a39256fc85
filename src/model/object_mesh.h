#pragma once
// Builds the mesh of a freshly read source and computes its normals.
#include "app/editor_state.h"
#include "model/qxm_reader.h"

namespace warpkit {

// Sets up the mesh and the starting view from the source just read. Preconditions:
// state.vertex_count/triangle_count are the result's counts, slots[0].vertices holds its
// positions, and vertex_count > 0 (an empty source is refused before this is called).
// Allocates every per-source array here, so drawing and blending never allocate.
int32_t InitSource(EditorState& state, const ReadResult& source);

// Face normal (B - A) x (C - A) with float32 rounding of every difference and component.
Vec3 face_normal(const Vec3& a, const Vec3& b, const Vec3& c);

// Fills mesh.face_normals from mesh.displayed (no allocation).
void compute_face_normals(EditorState& state);
// Face normals, and mesh.vertex_normals as the sum of each vertex's faces in the order of its
// vertex-triangle list (no allocation).
void compute_vertex_normals(EditorState& state);

// The same with at most `max_threads` threads, the caller's included (the machine's cores bound
// it too). Large meshes are split over helper threads made once and kept until exit; the
// results are the same bit for bit whatever the number of threads.
void compute_face_normals(EditorState& state, int max_threads);
void compute_vertex_normals(EditorState& state, int max_threads);

// Builds the vertex-triangle lists in time linear in vertices + triangles:
// ascending triangle indices, each triangle once per vertex.
void build_vertex_triangle_lists(int32_t vertex_count, const std::vector<Triangle>& triangles,
                                 std::vector<int32_t>& list_start,
                                 std::vector<int32_t>& triangle_list);

// Releases everything InitSource made (slot 0's positions too) and marks the source unloaded.
void release_source(EditorState& state);

}  // namespace warpkit

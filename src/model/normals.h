#pragma once
// Face and vertex normals of the displayed shape, recomputed at every draw.
#include "base/editor_state.h"

namespace warpkit {

// Face normal (B - A) x (C - A) with float32 rounding of every difference and component.
Vec3 face_normal(const Vec3& a, const Vec3& b, const Vec3& c);

// Fills mesh.face_normals from mesh.displayed (no allocation).
void compute_face_normals(EditorState& state);
// Face normals, and mesh.vertex_normals as the sum of each vertex's faces in the order of its
// vertex-triangle list. The first call after a source is set up (or after
// release_vertex_normals) makes the vertex normals and the lists; later calls allocate nothing.
void compute_vertex_normals(EditorState& state);

// The same with at most `max_threads` threads, the caller's included (the machine's cores bound
// it too). Large meshes are shared with helper threads made once and kept until exit; the
// results are the same bit for bit whatever the number of threads.
void compute_face_normals(EditorState& state, int max_threads);
void compute_vertex_normals(EditorState& state, int max_threads);

// Frees the vertex normals and the vertex-triangle lists, which only smooth shading reads, so
// they take no memory while the shape is shown otherwise.
void release_vertex_normals(ObjectMesh& mesh);

// Which loop computes the face normals: the fastest this processor offers (four triangles at a
// time where it has AVX), or one triangle at a time, the path of every other processor and
// the reference the tests hold the fast one to. Both give the same bits.
enum class FaceNormalPath { kFastest, kOneAtATime };
void set_face_normal_path(FaceNormalPath path);

}  // namespace warpkit

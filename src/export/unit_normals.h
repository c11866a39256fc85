#pragma once
// Vertex normals of the displayed shape for files that want unit normals.
#include <vector>

#include "base/editor_state.h"

namespace warpkit::exporting {

// The program's vertex normals of mesh.displayed (computed here), scaled to unit length. A vertex
// without a direction (used by no triangle, or only by degenerate ones) gets +z: file formats
// want unit normals everywhere.
std::vector<Vec3> unit_vertex_normals(EditorState& state);

// What target `slot` alone at 100 % does to those normals, as smooth shading draws that shape:
// its unit vertex normals minus `source_normals` (the unit normals of the source shape), per
// vertex. A player adding the weighted changes to the source's normals and normalising shows
// the program's normals wherever one target is at full weight. Leaves mesh.displayed at that
// shape. Needs a loaded source and target.
std::vector<Vec3> target_normal_offsets(EditorState& state, int slot,
                                        const std::vector<Vec3>& source_normals);

}  // namespace warpkit::exporting

#pragma once
// Vertex normals of the displayed shape for files that want unit normals.
#include <vector>

#include "app/editor_state.h"

namespace warpkit::exporting {

// The program's vertex normals of mesh.displayed (computed here), scaled to unit length. A vertex
// without a direction (used by no triangle, or only by degenerate ones) gets +z: file formats
// want unit normals everywhere.
std::vector<Vec3> unit_vertex_normals(EditorState& state);

}  // namespace warpkit::exporting

#pragma once
// Reads the meshes of a Wavefront OBJ file through tinyobjloader, with the file's own vertex
// numbering: a mesh's vertices are the file's `v` lines in order, none welded, reordered or
// dropped, and each polygon is fanned into triangles from its first corner.
//
// Each `o` line starts a mesh that holds the `v` lines written after it. When some face uses a
// vertex written outside its own `o` section (files that list every vertex first), the whole
// file is one mesh. Each material's diffuse colour (Kd) becomes the palette entry of its index
// in the material libraries; faces without a material use one grey entry after them. `g`
// groups do not split meshes.
#include <string>

#include "import/gltf_reader.h"
#include "import/imported_scene.h"

namespace warpkit {

// The file at `path`; material libraries are read from its folder. A missing library leaves
// its faces grey; one named outside the folder refuses the file, as does a vertex number no int
// holds.
ImportOutcome read_obj_file(const std::string& path, const ImportLimits& limits,
                            ImportedScene& scene);

// OBJ text in memory; material libraries are not read. `fallback_name` names a mesh before the
// first `o` line.
ImportOutcome read_obj_text(const std::string& text, const std::string& fallback_name,
                            const ImportLimits& limits, ImportedScene& scene);

}  // namespace warpkit

#pragma once
// The listings of `warpkit-export info`: the objects of an object file in file order, or what
// a mesh file holds to choose from (its meshes and the animations of their weights).
#include <string>

#include "import/imported_scene.h"
#include "model/qxm_reader.h"

namespace warpkit::exporting {

// One line per object (index, name, vertices, triangles) under a heading with the file name,
// the object count and the file's colour count. Names are shown as display_text makes them.
std::string object_listing(const std::string& path, const ObjectTable& table);

// Each mesh with its vertices, triangles and morph targets (names in full, and the name an
// object file keeps when it differs), then each animation of weights with its length and, for
// each mesh it drives, its key times; numbered as --mesh and --animation know them.
std::string scene_listing(const std::string& path, const ImportedScene& scene);

}  // namespace warpkit::exporting

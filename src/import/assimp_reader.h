#pragma once
// Reads the meshes of the formats only a large importer library reads (FBX, COLLADA, PLY, STL
// and whatever else assimp knows) into the shared form. Linked into warpkit-export only: the
// program runs it there, in a child process, so a fault inside the library cannot take the
// session with it.
//
// One mesh per node that holds geometry, made of the node's meshes in order (assimp splits a
// mesh per material), named after the node and placed by its transform (parents included). No
// post-processing: polygons are fanned from their first corner here, nothing is welded or reordered
// by the library. FBX and COLLADA come back from the library with a vertex per polygon corner;
// their corners that lie together in the base and in every blend shape are joined into one vertex
// (one map for the base and all its shapes, in first-use order), so points that only meet in the
// base, such as closed lips, stay apart. PLY keeps its vertex list and STL its three corners per
// facet, as stored. Each material's diffuse (else base) colour becomes the palette entry of its
// index.
//
// Lengths in metres: FBX's unit (UnitScaleFactor, centimetres per file unit) is applied by the
// library, COLLADA's comes in its root node; PLY and STL say none and are read as stored.
// Morph animations the library reads (FBX blend-shape channels' DeformPercent) become weights
// animations of the mesh whose node they name, their anim meshes matched to the targets by
// name; the scene keeps the first. COLLADA morph controllers are not read by assimp 5.2.5:
// the mesh under one is skipped by the library, and with it its animation.
#include <string>

#include "import/gltf_reader.h"
#include "import/imported_scene.h"

namespace warpkit {

ImportOutcome read_with_assimp(const std::string& path, const ImportLimits& limits,
                               ImportedScene& scene);

}  // namespace warpkit

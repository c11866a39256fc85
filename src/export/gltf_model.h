#pragma once
// The glTF 2.0 form of a loaded project: the source as a mesh (positions, normals, triangles in
// one primitive per palette colour), each loaded target as a position-only morph target, and the
// key tracks as one weights animation whose linear interpolation gives the program's weight at
// every frame of the timeline.
#include <tiny_gltf.h>

#include <string>

#include "app/editor_state.h"
#include "export/progress.h"

namespace warpkit::exporting {

struct GltfOptions {
    double fps = 30.0;           // frames per second; animation time = frame / fps
    std::string animation_name;  // e.g. the project's file name without its folder
};

struct GltfBuild {
    bool ok = false;
    std::string problem;  // set when !ok, English words
    tinygltf::Model model;
};

// Needs a loaded source. Leaves mesh.displayed at the source shape (its normals are the
// exported ones). Morph target i is the i-th loaded slot in slot order; mesh.extras.targetNames
// holds "slot name" for each. Weights are fractions (percent / 100).
GltfBuild build_gltf_model(EditorState& state, const GltfOptions& options, Progress* progress);

}  // namespace warpkit::exporting

#pragma once
// The glTF 2.0 form of a loaded project: the source as a mesh (positions, normals, triangles in
// one primitive per palette colour), each loaded target as a morph target (its displacement,
// and on request the change of the normals), and the key tracks as one weights animation whose
// linear interpolation gives the program's weight at every frame of the exported range.
#include <tiny_gltf.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/editor_state.h"
#include "export/compressed_views.h"
#include "export/progress.h"
#include "export/target_names.h"

namespace warpkit::exporting {

struct GltfOptions {
    double fps = 30.0;           // frames per second; animation time = (frame - first) / fps
    std::string animation_name;  // e.g. the project's file name without its folder
    // The frames the animation covers, first <= last <= max_frame; -1: the timeline's end.
    int32_t first_frame = 0;
    int32_t last_frame = -1;
    int32_t step = 0;      // 0: a key where the program has one; N: every Nth frame and the last
    bool normals = false;  // give each morph target the change of the normals too
    // Vertices at one position share their normal when theirs differ by less than this many
    // degrees (NormalWeld); 0: each keeps its own.
    double smooth_angle = 60.0;
    TargetNaming naming = TargetNaming::kNumbered;
};

struct GltfBuild {
    bool ok = false;
    std::string problem;  // set when !ok, English words
    tinygltf::Model model;
    std::vector<ViewLayout> layouts;   // one per buffer view, for compress_buffer_views
    std::vector<int32_t> frames;       // the frames the animation has keys on
    std::vector<std::string> renamed;  // target names that had to change (TargetNames)
    int sparse_accessors = 0;          // morph target accessors stored sparse
};

// The frames the animation has keys on and their times in seconds from the first (strictly
// increasing as floats), or why there can be none. build_gltf_model keys its animation so.
std::string animation_timing(const EditorState& state, const GltfOptions& options,
                             std::vector<int32_t>& frames, std::vector<float>& times);

// Needs a loaded source. Leaves mesh.displayed at the source shape. Morph target i is the i-th
// loaded slot in slot order; mesh.extras.targetNames names them as options.naming says. A morph
// target accessor is stored sparse, over the vertices whose value is not exactly zero, when that
// takes fewer bytes. Weights are fractions (percent / 100); mesh.weights are those of the first
// frame. Every view lies in buffer 0.
GltfBuild build_gltf_model(EditorState& state, const GltfOptions& options, Progress* progress);

}  // namespace warpkit::exporting

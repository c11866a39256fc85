#pragma once
// warpkit-export gltf PROJECT --onto ORIGINAL: the original glTF asset given back whole with the
// project's animation added. The original's JSON is edited as JSON, so what this program does
// not understand (extensions, extras, compressed views) passes through unchanged; its buffers
// keep their bytes, and what is new is appended after them (to the binary chunk of a .glb, or
// as a buffer of its own beside a .gltf).
//
// The mesh is the one whose vertices, as the import reads them, are the project's source within
// a millionth of its bounding-box diagonal, in their order or, failing that, in the order the
// vertex-order matching finds. Each loaded target is the original morph target with the same
// displacement, or is added to every primitive of the mesh as a new one.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/editor_state.h"
#include "base/safe_replace.h"
#include "export/command_line.h"
#include "export/gltf_model.h"
#include "export/project_load.h"

namespace warpkit::exporting {

struct OntoOptions {
    std::string original;           // the .glb or .gltf file
    std::string mesh;               // NAME or INDEX; empty: the mesh is found by its geometry
    std::string replace_animation;  // the animation to replace; empty: one is added
    // fps, frames, step, the animation's name, and normals: the change of the normals for
    // every added target (else only where the mesh's own targets have it)
    GltfOptions gltf;
};

struct OntoTarget {
    int slot = 0;          // the project's target slot
    std::string name;      // the morph target's name in the output, in full
    size_t index = 0;      // its morph target index in the output
    bool added = false;    // false: the original's own
    bool normals = false;  // added with the change of the normals
};

struct OntoBuild {
    bool ok = false;
    std::string problem;  // set when !ok: why, without the file's name in front
    size_t mesh = 0;
    std::string mesh_name;
    bool matched_by_order = false;    // the mesh holds the source's vertices in another order
    int32_t renumbered = 0;           // then: vertices whose place the order changes
    std::vector<OntoTarget> targets;  // one per loaded target, in slot order
    double largest_difference = 0.0;  // largest position difference of source and matched targets
    double diagonal = 0.0;            // of the source's bounding box
    std::vector<int32_t> frames;      // the frames the animation has keys on
    size_t nodes = 0;                 // nodes the animation drives
    int sparse_accessors = 0;         // added morph target accessors stored sparse
    // Morphed attributes (POSITION, NORMAL ... of every target) of the mesh's busiest primitive,
    // in the original and in the output.
    size_t morphed_before = 0;
    size_t morphed = 0;
    bool binary = false;  // a .glb; otherwise .gltf text with `bin` beside it
    std::string file;     // the whole .glb, or the .gltf text
    std::string bin;      // .gltf: the new buffer's bytes
    size_t added() const;
};

// `output` decides the kind of file (.glb or .gltf, either from either) and the name of the
// .bin of a .gltf. Leaves mesh.displayed at the source shape.
OntoBuild build_onto(EditorState& state, const OntoOptions& options, const std::string& output);

// Writes the build: the .glb, or the .gltf and its new .bin (each refused before either is
// written when it is a link).
FileOutcome write_onto(const OntoBuild& build, const std::string& output);

// The gltf command with --onto, after the project has loaded and the frames are known good.
int run_gltf_onto(const CommandLine& line, LoadedProject& project, int32_t first, int32_t last,
                  std::ostream& out, std::ostream& err);

}  // namespace warpkit::exporting

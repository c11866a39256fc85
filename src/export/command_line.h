#pragma once
// The command line of warpkit-export: which command, on which file, with which options.
// Parsing only; a line that does not make sense comes back as a message, never half-parsed.
#include <cstdint>
#include <string>
#include <vector>

#include "export/target_names.h"

namespace warpkit::exporting {

enum class Command {
    kHelp,
    kInfo,
    kCheck,
    kGltf,
    kObj,
    kWeights,
    kMatch,
    kQxm,
    kProject,
    kPc2,
    kMdd
};

struct CommandLine {
    Command command = Command::kHelp;
    std::string input;          // the object file (info) or the project file (all others)
    std::string output;         // gltf: the .glb or .gltf file; obj: the folder
    double fps = 30.0;          // gltf; pc2, mdd: the time of a frame
    bool frames_given = false;  // gltf, obj, pc2, mdd: --frames; otherwise the whole timeline
    int32_t first_frame = 0;    // gltf, obj, pc2, mdd
    int32_t last_frame = 0;     // gltf, obj, pc2, mdd
    int32_t step = 0;           // gltf, obj, pc2, mdd: every step-th frame; 0: gltf keeps the keys,
                                // the others write every frame
    int32_t frame = 0;          // weights
    bool normals = false;       // gltf: normal displacements per morph target
    bool compress = false;      // gltf: EXT_meshopt_compression
    // gltf: vertices at one position share their normal when theirs differ by less than this
    double smooth_angle = 60.0;
    TargetNaming names = TargetNaming::kNumbered;  // gltf
    // gltf --onto: the original asset the animation is added to, the mesh chosen in it (name or
    // index; empty: found by geometry), the animation's name (empty: the project's) and the
    // animation it replaces (empty: none)
    std::string onto;
    std::string mesh;  // also project and qxm: the mesh taken (index, name or full name)
    std::string animation_name;
    std::string replace_animation;
    // project: the animation taken (the file's index of it, or its name); empty: the mesh's first
    std::string animation;
    bool strict = false;  // check, exports: warnings that leave targets out fail the command;
                          // project: so does a mesh or an animation taken among several unasked
    // Not an option: the caller sets it when progress may be shown (stderr is a terminal).
    bool show_progress = false;
    // match: `input` is the source and `target` the target, each FILE.qxm[:OBJECT]; `output`
    // the .qxm file to write
    std::string target;
    std::string object;  // qxm: the one mesh to convert; empty: every mesh
    // qxm: a refusal's reason once more in Japanese, on a line of its own (--reason-ja)
    bool japanese_reason = false;
    // qxm: where to write the file's weights animations for the program (--animations-to)
    std::string animations_to;
};

struct ParsedCommandLine {
    bool ok = false;
    CommandLine line;
    std::string problem;  // set when !ok: "gltf needs an output file (-o OUT.glb)"
};

// `args` without the program name. "--help" or "-h" anywhere asks for help.
ParsedCommandLine parse_command_line(const std::vector<std::string>& args);

// What --help prints.
extern const char* const kUsageText;

// True when `path` names a .gltf file (any case), so the buffer goes into a .bin beside it.
bool is_gltf_text_path(const std::string& path);

}  // namespace warpkit::exporting

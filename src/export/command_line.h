#pragma once
// The command line of warpkit-export: which command, on which file, with which options.
// Parsing only; a line that does not make sense comes back as a message, never half-parsed.
#include <cstdint>
#include <string>
#include <vector>

namespace warpkit::exporting {

enum class Command { kHelp, kInfo, kCheck, kGltf, kObj, kWeights, kQxm, kProject };

struct CommandLine {
    Command command = Command::kHelp;
    std::string input;        // the object file (info), mesh file (qxm, project) or project file
    std::string output;       // gltf: the .glb or .gltf file; obj: the folder; qxm, project: file
    double fps = 30.0;        // gltf, project
    int32_t first_frame = 0;  // obj
    int32_t last_frame = 0;   // obj
    int32_t frame = 0;        // weights
    std::string object;       // qxm: the one mesh to convert; empty: every mesh
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

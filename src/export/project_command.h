#pragma once
// warpkit-export project MESHFILE -o OUT.twp [--fps N] [--mesh NAME|INDEX]
// [--animation NAME|INDEX] [--strict]: a Warpkit project made from the morph animation of a mesh
// file of any format the tool imports (glTF, OBJ, FBX, COLLADA ...: see read_mesh_file; the
// importer library's formats in a child process). The mesh chosen (scene_choice.h: unless named,
// the one the first weights animation drives, else the first with morph targets, else the first)
// is written with its morph targets as a QXM object file beside the project and becomes the
// source; its first eight morph targets become targets 1 to 8, and the animation chosen (unless
// named, the mesh's first) their keys (animation_keys.h). Without an animation each target has
// one key, its default weight. A choice made among several without being asked is said on the
// error stream, and refused under --strict.
#include <iosfwd>

#include "export/command_line.h"

namespace warpkit::exporting {

int run_project_command(const CommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace warpkit::exporting

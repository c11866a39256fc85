#pragma once
// warpkit-export qxm MESHFILE -o OUT.qxm [--object NAME | --mesh NAME|INDEX]: a mesh file
// converted to a QXM object file. This is also what the program runs in a child process for the
// formats it does not read itself, and its listing on the standard output says which objects are
// morph targets of which mesh (child_import.h reads it back).
#include <iosfwd>
#include <string>
#include <vector>

#include "export/command_line.h"
#include "import/gltf_reader.h"
#include "import/imported_scene.h"

namespace warpkit::exporting {

// Reads every mesh of a file of any format the tool imports: glTF and OBJ with the program's
// own readers, anything else through the importer library. Names finished, limits checked.
ImportOutcome read_mesh_file(const std::string& path, ImportedScene& scene);

// Whether `path` is a QXM object file (or broken one), which no mesh reader takes.
bool is_qxm_file(const std::string& path);

// One warning line on `err` for each name of the meshes `meshes` of `scene` that its object
// file could not hold as `file` gives it, the full name beside the stored one.
void warn_of_renamed(std::ostream& err, const std::string& file, const ImportedScene& scene,
                     const std::vector<size_t>& meshes);

int run_qxm_command(const CommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace warpkit::exporting

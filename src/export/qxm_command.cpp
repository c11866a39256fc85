#include "export/qxm_command.h"

#include <ostream>

#include "export/export_tool.h"
#include "import/any_object_reader.h"
#include "import/assimp_reader.h"
#include "import/child_import.h"
#include "import/gltf_reader.h"
#include "import/obj_reader.h"
#include "model/qxm_reader.h"

namespace warpkit::exporting {

namespace {

int refuse(std::ostream& err, const std::string& message) {
    err << "warpkit-export: " << message << "\n";
    return kExitRefused;
}

bool is_qxm_file(const std::string& path) {
    ObjectTable table;
    return read_object_table(path, table).status != ReadStatus::kBadMagic &&
           object_file_kind(path) == ObjectFileKind::kQxm;
}

}  // namespace

ImportOutcome read_mesh_file(const std::string& path, ImportedScene& scene) {
    const ImportLimits limits;
    ImportOutcome read;
    switch (object_file_kind(path)) {
        case ObjectFileKind::kGltf:
            read = read_gltf_file(path, limits, scene);
            break;
        case ObjectFileKind::kObj:
            read = read_obj_file(path, limits, scene);
            break;
        case ObjectFileKind::kInChild:
        case ObjectFileKind::kQxm:
            // this is the child: the library reads it here, whatever it is
            read = read_with_assimp(path, limits, scene);
            break;
    }
    return finish_import(read, scene);
}

int run_qxm_command(const CommandLine& line, std::ostream& out, std::ostream& err) {
    const std::string shown = display_text(line.input);
    if (is_qxm_file(line.input)) return refuse(err, shown + " is a QXM object file already");
    ImportedScene scene;
    const ImportOutcome read = read_mesh_file(line.input, scene);
    if (!read.ok) return refuse(err, shown + " cannot be imported: " + read.reason.en);

    // every mesh, or the one asked for
    std::vector<size_t> meshes;
    for (size_t m = 0; m < scene.meshes.size(); ++m) {
        if (line.object.empty() || scene.meshes[m].name == line.object) meshes.push_back(m);
    }
    if (meshes.empty()) {
        std::string names;
        for (const ImportedMesh& mesh : scene.meshes)
            names += (names.empty() ? "" : ", ") + display_text(mesh.name);
        return refuse(err,
                      shown + " holds no mesh named " + line.object + " (it holds " + names + ")");
    }
    if (!line.object.empty()) meshes.resize(1);

    std::vector<QxmObject> objects;
    for (const size_t m : meshes) {
        const std::vector<QxmObject> mesh_objects = qxm_objects_for(scene.meshes[m]);
        objects.insert(objects.end(), mesh_objects.begin(), mesh_objects.end());
    }
    const FileOutcome written =
        write_qxm_file(line.output, objects, scene.palette, ExistingFile::kKeep);
    if (!written.ok) {
        std::string reason = written.reason.en;
        if (objects.size() > static_cast<size_t>(kMaxListedObjects) && scene.meshes.size() > 1) {
            reason += " (convert one mesh at a time with --object NAME)";
        }
        return refuse(err, "cannot write " + display_text(line.output) + ": " + reason);
    }
    out << "wrote " << written_objects_listing(line.output, scene, meshes);
    return kExitDone;
}

}  // namespace warpkit::exporting

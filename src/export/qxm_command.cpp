#include "export/qxm_command.h"

#include <unistd.h>

#include <algorithm>
#include <ostream>

#include "export/export_tool.h"
#include "export/output_file.h"
#include "export/printable.h"
#include "import/any_object_reader.h"
#include "import/assimp_reader.h"
#include "import/child_import.h"
#include "import/gltf_reader.h"
#include "import/obj_reader.h"
#include "import/scene_choice.h"
#include "model/qxm_reader.h"

namespace warpkit::exporting {

namespace {

// The program, which runs this command in a child process, shows the Japanese line in its own
// message, which names the file already.
int refuse(std::ostream& err, const CommandLine& line, const std::string& message,
           const std::string& japanese_reason) {
    err << "warpkit-export: " << printable(message) << "\n";
    if (line.japanese_reason) err << kJapaneseReasonMark << printable(japanese_reason) << "\n";
    return kExitRefused;
}

}  // namespace

bool is_qxm_file(const std::string& path) {
    ObjectTable table;
    return read_object_table(path, table).status != ReadStatus::kBadMagic &&
           object_file_kind(path) == ObjectFileKind::kQxm;
}

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

void warn_of_renamed(std::ostream& err, const std::string& file, const ImportedScene& scene,
                     const std::vector<size_t>& meshes) {
    for (const RenamedObject& renamed : scene.renamed) {
        if (std::find(meshes.begin(), meshes.end(), renamed.mesh) == meshes.end()) continue;
        err << "warpkit-export: warning: " << printable(file) << ": "
            << printable(renamed_text(scene, renamed).en) << "\n";
    }
}

int run_qxm_command(const CommandLine& line, std::ostream& out, std::ostream& err) {
    const std::string shown = printable(line.input);
    if (is_qxm_file(line.input)) {
        return refuse(err, line, shown + " is a QXM object file already",
                      "すでに QXM オブジェクトファイルです");
    }
    ImportedScene scene;
    const ImportOutcome read = read_mesh_file(line.input, scene);
    if (!read.ok)
        return refuse(err, line, shown + " cannot be imported: " + read.reason.en, read.reason.ja);

    // every mesh, or the one asked for
    std::vector<size_t> meshes;
    if (!line.mesh.empty()) {
        // only the mesh of the choice: every animation of the meshes written is passed on
        const SceneChoice choice = choose_in_scene(scene, line.mesh, std::string());
        if (!choice.problem.empty()) {
            return refuse(err, line, shown + ": " + choice.problem.en, choice.problem.ja);
        }
        meshes.push_back(choice.mesh);
    }
    for (size_t m = 0; line.mesh.empty() && m < scene.meshes.size(); ++m) {
        if (line.object.empty() || scene.meshes[m].name == line.object) meshes.push_back(m);
    }
    if (meshes.empty()) {
        std::string names;
        for (const ImportedMesh& mesh : scene.meshes)
            names += (names.empty() ? "" : ", ") + printable(mesh.name);
        return refuse(err, line,
                      shown + " holds no mesh named " + line.object + " (it holds " + names + ")",
                      format_text("メッシュ %s はありません（あるのは %s）", line.object.c_str(),
                                  names.c_str()));
    }
    if (!line.object.empty()) meshes.resize(1);

    std::vector<QxmObjectView> objects;
    for (const size_t m : meshes) {
        const std::vector<QxmObjectView> mesh_objects = qxm_objects_for(scene.meshes[m]);
        objects.insert(objects.end(), mesh_objects.begin(), mesh_objects.end());
    }
    const FileOutcome written =
        write_qxm_file(line.output, objects, scene.palette, ExistingFile::kKeep);
    if (!written.ok) {
        BilingualText reason = written.reason;
        if (objects.size() > static_cast<size_t>(kMaxListedObjects) && scene.meshes.size() > 1) {
            reason += {"（--object NAME でメッシュを 1 つずつ変換してください）",
                       " (convert one mesh at a time with --object NAME)"};
        }
        const std::string output = printable(line.output);
        return refuse(err, line, "cannot write " + output + ": " + reason.en,
                      format_text("%s に書き出せません：%s", output.c_str(), reason.ja.c_str()));
    }
    // the animations of the meshes written, for the program, which counts only those
    if (!line.animations_to.empty()) {
        std::vector<WeightsAnimation> animations = scene.animations;
        std::vector<WeightsAnimation> passed;
        for (WeightsAnimation& animation : animations) {
            const auto at = std::find(meshes.begin(), meshes.end(), animation.mesh);
            if (at == meshes.end()) continue;
            animation.mesh = static_cast<size_t>(at - meshes.begin());
            passed.push_back(std::move(animation));
        }
        const FileOutcome passed_on =
            write_output_file(line.animations_to, animation_transfer_text(passed));
        if (!passed_on.ok) {
            // nothing half-done: the object file was new
            unlink(line.output.c_str());
            const std::string file = printable(line.animations_to);
            return refuse(
                err, line, "cannot write " + file + ": " + passed_on.reason.en,
                format_text("%s に書き出せません：%s", file.c_str(), passed_on.reason.ja.c_str()));
        }
    }

    warn_of_renamed(err, line.input, scene, meshes);
    // The names are written; from here on they are only shown, one object a line.
    for (ImportedMesh& mesh : scene.meshes) {
        mesh.name = printable(mesh.name);
        for (MorphShape& target : mesh.targets) target.name = printable(target.name);
    }
    out << "wrote " << written_objects_listing(printable(line.output), scene, meshes);
    return kExitDone;
}

}  // namespace warpkit::exporting

#include "export/project_command.h"

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <ostream>

#include "base/texts.h"
#include "export/export_tool.h"
#include "export/frame_weights.h"
#include "export/output_file.h"
#include "export/printable.h"
#include "export/qxm_command.h"
#include "import/animation_keys.h"
#include "import/any_object_reader.h"
#include "import/qxm_beside.h"
#include "import/scene_choice.h"
#include "model/qxm_reader.h"
#include "project/project_file.h"

namespace warpkit::exporting {

namespace {

// The window keys an animation under the same limit as this command, so what either keys can
// be exported again.
static_assert(kMaxAnimationFrames == kMaxSamples);

int refuse(std::ostream& err, const std::string& message) {
    err << "warpkit-export: " << printable(message) << "\n";
    return kExitRefused;
}

// A project names its object files by full path, so it can be opened from anywhere.
std::string full_path(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// This tool's own file when it runs as warpkit-export; empty when run_export_tool runs inside
// another program.
std::string own_tool() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return !error && self.filename() == "warpkit-export" ? self.string() : std::string();
}

// glTF and OBJ are read here; the formats of the importer library in a child, as the program
// reads them, so a crash or a runaway inside the library costs a refusal.
ImportOutcome import_mesh_file(const std::string& path, ImportedScene& scene) {
    ObjectFileKind kind = object_file_kind(path);
    // a file of no kind known here may still be one the library reads
    if (kind == ObjectFileKind::kQxm) kind = ObjectFileKind::kInChild;
    ImportSettings settings;
    settings.export_tool = own_tool();
    if (kind == ObjectFileKind::kInChild && settings.export_tool.empty())
        return read_mesh_file(path, scene);
    return import_meshes(path, kind, settings, scene);
}

}  // namespace

int run_project_command(const CommandLine& line, std::ostream& out, std::ostream& err) {
    const std::string shown = printable(line.input);
    if (is_qxm_file(line.input))
        return refuse(err, shown + " is a QXM object file, not a mesh file");
    ImportedScene scene;
    const ImportOutcome read = import_mesh_file(line.input, scene);
    if (!read.ok) return refuse(err, shown + " cannot be imported: " + read.reason.en);
    const SceneChoice choice = choose_in_scene(scene, line.mesh, line.animation);
    if (!choice.problem.empty()) return refuse(err, shown + ": " + choice.problem.en);
    for (const BilingualText& unasked : choice.unasked) {
        err << "warpkit-export: " << (line.strict ? "" : "warning: ") << shown << ": "
            << printable(unasked.en) << "\n";
    }
    if (line.strict && !choice.unasked.empty()) {
        return refuse(err, shown +
                               ": nothing written: under --strict, --mesh and --animation "
                               "must choose among several");
    }
    const size_t m = choice.mesh;
    const ImportedMesh& mesh = scene.meshes[m];
    if (mesh.vertices.empty())
        return refuse(err, shown + ": the mesh " + printable(mesh.name) + " has no vertices");

    // the keys, before anything is written
    ProjectData data;
    const size_t targets = std::min<size_t>(mesh.targets.size(), kTargetCount);
    const AnimationKeys keys = keys_for_mesh(scene, m, choice.animation, targets, line.fps);
    if (!keys.problem.empty()) return refuse(err, shown + ": " + keys.problem.en);
    if (choice.animation) data.max_frame = keys.max_frame;
    const std::vector<KeyTrack>& tracks = keys.tracks;

    const std::string output_problem = output_path_problem(line.output);
    if (!output_problem.empty()) {
        return refuse(err, "cannot write " + printable(line.output) + ": " + output_problem);
    }

    // the mesh and its targets as an object file beside the project
    const StoreOutcome stored =
        write_qxm_unused_name(qxm_path_for(line.output), qxm_objects_for(mesh), scene.palette);
    if (stored.status != StoreStatus::kWritten) {
        return refuse(err, "cannot write the object file beside " + printable(line.output) + ": " +
                               stored.reason.en);
    }
    const std::string qxm = full_path(stored.path);
    data.source_path = qxm;
    data.source_name = mesh.name;
    for (size_t j = 0; j < targets; ++j) {
        ProjectTarget& target = data.targets[j];
        target.present = true;
        target.path = qxm;
        target.name = mesh.targets[j].name;
        target.keys = tracks[j];
    }
    BilingualText unsaved = project_data_problem(data);
    if (unsaved.empty()) {
        const FileOutcome written = write_output_file(line.output, write_project_text(data));
        if (!written.ok) unsaved = written.reason;
    }
    if (!unsaved.empty()) {
        // nothing half-done: the object file was only for this project
        unlink(stored.path.c_str());
        return refuse(err, "cannot write " + printable(line.output) + ": " + unsaved.en);
    }

    warn_of_renamed(err, line.input, scene, {m});
    for (size_t j = targets; j < mesh.targets.size(); ++j) {
        err << "warpkit-export: warning: morph target " << j + 1 << " ("
            << printable(mesh.targets[j].name) << ") is left out: a project has " << kTargetCount
            << " targets\n";
    }
    out << "wrote " << printable(line.output) << " and " << printable(stored.path) << ": source "
        << printable(mesh.name) << ", " << targets << " target" << (targets == 1 ? "" : "s");
    if (choice.animation) {
        out << ", frames 0 to " << data.max_frame << " at " << format_text("%g", line.fps)
            << " fps, "
            << (keys.sampled ? "the animation sampled at every frame"
                             : "the animation's keys kept");
    }
    out << "\n";
    return kExitDone;
}

}  // namespace warpkit::exporting

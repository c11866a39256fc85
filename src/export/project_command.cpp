#include "export/project_command.h"

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <ostream>

#include "base/display_text.h"
#include "base/texts.h"
#include "export/export_tool.h"
#include "import/animation_keys.h"
#include "import/any_object_reader.h"
#include "import/gltf_reader.h"
#include "import/qxm_beside.h"
#include "model/qxm_reader.h"
#include "project/project_file.h"

namespace warpkit::exporting {

namespace {

int refuse(std::ostream& err, const std::string& message) {
    err << "warpkit-export: " << message << "\n";
    return kExitRefused;
}

size_t chosen_mesh(const ImportedScene& scene) {
    if (scene.has_animation) return scene.animation.mesh;
    for (size_t m = 0; m < scene.meshes.size(); ++m) {
        if (!scene.meshes[m].targets.empty()) return m;
    }
    return 0;
}

// A project names its object files by full path, so it can be opened from anywhere.
std::string full_path(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

}  // namespace

int run_project_command(const CommandLine& line, std::ostream& out, std::ostream& err) {
    const std::string shown = display_text(line.input);
    if (object_file_kind(line.input) != ObjectFileKind::kGltf) {
        return refuse(err, shown + " is not a glTF file (.gltf or .glb)");
    }
    ImportedScene scene;
    ImportOutcome read = read_gltf_file(line.input, ImportLimits{}, scene);
    read = finish_import(read, scene);
    if (!read.ok) return refuse(err, shown + " cannot be imported: " + read.reason.en);
    const size_t m = chosen_mesh(scene);
    const ImportedMesh& mesh = scene.meshes[m];
    if (mesh.vertices.empty())
        return refuse(err, shown + ": the mesh " + display_text(mesh.name) + " has no vertices");

    // the keys, before anything is written
    ProjectData data;
    const size_t targets = std::min<size_t>(mesh.targets.size(), kTargetCount);
    std::vector<KeyTrack> tracks(mesh.targets.size());
    bool sampled = false;
    if (scene.has_animation && scene.animation.mesh == m) {
        const AnimationKeys keys = keys_from_animation(scene.animation, line.fps);
        if (!keys.problem.empty()) {
            return refuse(err, shown + ": " + keys.problem.en + " at " +
                                   format_text("%g", line.fps) + " frames a second");
        }
        data.max_frame = keys.max_frame;
        tracks = keys.tracks;
        sampled = keys.sampled;
    } else {
        const AnimationKeys keys = keys_from_default_weights(mesh.weights, tracks.size());
        if (!keys.problem.empty()) return refuse(err, shown + ": " + keys.problem.en);
        tracks = keys.tracks;
    }

    // the mesh and its targets as an object file beside the project
    const StoreOutcome stored =
        write_qxm_unused_name(qxm_path_for(line.output), qxm_objects_for(mesh), scene.palette);
    if (stored.status != StoreStatus::kWritten) {
        return refuse(err, "cannot write the object file beside " + display_text(line.output) +
                               ": " + stored.reason.en);
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
    const SaveOutcome saved = save_project_file(line.output, data);
    if (!saved.ok) {
        // nothing half-done: the object file was only for this project
        unlink(stored.path.c_str());
        return refuse(err, "cannot write " + display_text(line.output) + ": " + saved.reason.en);
    }

    for (size_t j = targets; j < mesh.targets.size(); ++j) {
        err << "warpkit-export: warning: morph target " << j + 1 << " ("
            << display_text(mesh.targets[j].name) << ") is left out: a project has " << kTargetCount
            << " targets\n";
    }
    out << "wrote " << display_text(line.output) << " and " << display_text(stored.path)
        << ": source " << display_text(mesh.name) << ", " << targets << " target"
        << (targets == 1 ? "" : "s");
    if (scene.has_animation && scene.animation.mesh == m) {
        out << ", frames 0 to " << data.max_frame << " at " << format_text("%g", line.fps)
            << " fps, "
            << (sampled ? "the animation sampled at every frame" : "the animation's keys kept");
    }
    out << "\n";
    return kExitDone;
}

}  // namespace warpkit::exporting

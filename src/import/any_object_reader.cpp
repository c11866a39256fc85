#include "import/any_object_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/display_text.h"
#include "base/input_file.h"
#include "import/file_bytes.h"
#include "import/gltf_reader.h"
#include "import/obj_reader.h"

namespace warpkit {
namespace {

std::string lower_extension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

bool starts_with(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string first_bytes(const std::string& path, size_t count) {
    std::string bytes(count, '\0');
    const InputFile input = InputFile::open(path);
    if (!input.is_open()) return {};
    bytes.resize(std::fread(bytes.data(), 1, count, input.get()));
    return bytes;
}

ReadOutcome not_imported(BilingualText reason) {
    ReadOutcome outcome;
    outcome.status = ReadStatus::kNotImported;
    outcome.reason = std::move(reason);
    return outcome;
}

}  // namespace

ObjectFileKind object_file_kind(const std::string& path) {
    const std::string start = first_bytes(path, 64);
    const std::string extension = lower_extension(path);
    if (starts_with(start, "QXM v91") || extension == "qxm") return ObjectFileKind::kQxm;
    if (is_glb(start) || extension == "gltf" || extension == "glb") return ObjectFileKind::kGltf;
    if (extension == "obj") return ObjectFileKind::kObj;
    for (const char* other : {"fbx", "dae", "zae", "ply", "stl"}) {
        if (extension == other) return ObjectFileKind::kInChild;
    }
    // no telling extension: the signatures of the other formats
    const size_t text = start.find_first_not_of(" \t\r\n");
    if (text != std::string::npos && start[text] == '{') return ObjectFileKind::kGltf;
    for (const char* signature :
         {"Kaydara FBX Binary", "; FBX", "ply\n", "ply\r", "solid ", "<?xml", "<COLLADA"}) {
        if (starts_with(start, signature)) return ObjectFileKind::kInChild;
    }
    return ObjectFileKind::kQxm;
}

namespace {

ImportOutcome import_meshes_unguarded(const std::string& path, ObjectFileKind kind,
                                      const ImportSettings& settings, ImportedScene& scene) {
    ImportOutcome outcome;
    switch (kind) {
        case ObjectFileKind::kGltf:
            outcome = read_gltf_file(path, settings.limits, scene);
            break;
        case ObjectFileKind::kObj:
            outcome = read_obj_file(path, settings.limits, scene);
            break;
        case ObjectFileKind::kInChild: {
            struct stat info;
            const ChildLimits limits =
                child_limits_for(stat(path.c_str(), &info) == 0 ? info.st_size : 0);
            outcome = import_in_child(settings.export_tool, path, limits, scene);
            break;
        }
        case ObjectFileKind::kQxm:
            outcome = ImportOutcome{false,
                                    {"メッシュファイルではなくオブジェクトファイルです",
                                     "it is an object file, not a mesh file"}};
            break;
    }
    return finish_import(outcome, scene);
}

}  // namespace

ImportOutcome import_meshes(const std::string& path, ObjectFileKind kind,
                            const ImportSettings& settings, ImportedScene& scene) {
    try {
        return import_meshes_unguarded(path, kind, settings, scene);
    } catch (const std::bad_alloc&) {
        scene = ImportedScene{};
        return ImportOutcome{false, out_of_memory(same_in_both(display_text(path)))};
    }
}

ImportOutcome finish_import(ImportOutcome outcome, ImportedScene& scene) {
    if (outcome.ok && scene.meshes.empty())
        outcome =
            ImportOutcome{false, {"ファイルにメッシュがありません", "the file holds no mesh"}};
    if (outcome.ok) {
        leave_out_meshes_without_triangles(scene);
        // names a child process had to change come with the scene it converted
        const std::vector<RenamedObject> renamed = finish_object_names(scene);
        scene.renamed.insert(scene.renamed.end(), renamed.begin(), renamed.end());
        BilingualText problem = imported_scene_problem(scene);
        if (!problem.empty()) outcome = ImportOutcome{false, std::move(problem)};
    }
    if (!outcome.ok) scene = ImportedScene{};
    return outcome;
}

ReadOutcome AnyObjectReader::ReadObject(const std::string& path, const std::string& prompt,
                                        const ObjectChooser& choose) {
    ReleaseReadResult();
    const ObjectFileKind kind = object_file_kind(path);
    if (kind == ObjectFileKind::kQxm) return qxm_.ReadObject(path, prompt, false, choose);

    // a file that cannot be opened is silent, as for object files; a pipe or a device is said
    const InputFile input = InputFile::open(path);
    if (!input.is_open()) {
        ReadOutcome outcome;
        outcome.status = ReadStatus::kCannotOpen;
        if (input.not_regular()) outcome.reason = input.cause();
        return outcome;
    }

    const ImportOutcome imported = import_meshes(path, kind, settings_, scene_);
    if (!imported.ok) return not_imported(imported.reason);

    ObjectTable table;
    table.colour_count = static_cast<int32_t>(scene_.palette.size());
    for (const ImportedMesh& mesh : scene_.meshes) {
        ObjectEntry entry;
        entry.name = mesh.name;
        entry.vertex_count = static_cast<int32_t>(mesh.vertices.size());
        entry.triangle_count = static_cast<int32_t>(mesh.triangles.size());
        table.objects.push_back(entry);
    }
    const int32_t answer = choose ? choose(table, prompt) : -1;
    if (answer < 0 || answer >= static_cast<int32_t>(table.objects.size())) {
        scene_ = ImportedScene{};
        ReadOutcome outcome;
        outcome.status = ReadStatus::kCancelled;
        return outcome;
    }
    chosen_ = static_cast<size_t>(answer);
    const ImportedMesh& mesh = scene_.meshes[chosen_];
    result_.vertices = mesh.vertices;
    result_.triangles = mesh.triangles;
    result_.vertex_count = static_cast<int32_t>(mesh.vertices.size());
    result_.triangle_count = static_cast<int32_t>(mesh.triangles.size());
    result_.colour_count = static_cast<int32_t>(scene_.palette.size());
    result_.red = scene_.palette.red;
    result_.green = scene_.palette.green;
    result_.blue = scene_.palette.blue;
    result_.object_name = mesh.name;
    imported_ = true;
    return ReadOutcome{};
}

void AnyObjectReader::ReleaseReadResult() {
    qxm_.ReleaseReadResult();
    result_ = ReadResult{};
    scene_ = ImportedScene{};
    imported_ = false;
    chosen_ = 0;
}

std::vector<MorphShape> AnyObjectReader::take_imported_targets(size_t count) {
    if (!imported_) return {};
    std::vector<MorphShape>& targets = scene_.meshes[chosen_].targets;
    const auto end = targets.begin() + static_cast<std::ptrdiff_t>(std::min(count, targets.size()));
    std::vector<MorphShape> taken(std::make_move_iterator(targets.begin()),
                                  std::make_move_iterator(end));
    targets.erase(targets.begin(), end);
    return taken;
}

const ImportedMesh* AnyObjectReader::imported_mesh() const {
    return imported_ ? &scene_.meshes[chosen_] : nullptr;
}

}  // namespace warpkit

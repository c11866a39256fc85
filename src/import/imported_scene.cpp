#include "import/imported_scene.h"

#include <cmath>
#include <limits>
#include <set>

#include "model/qxm_reader.h"

namespace warpkit {
namespace {

constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();

std::string mesh_label(size_t index, const std::string& name) {
    return "mesh " + std::to_string(index + 1) + " (\"" + display_text(name) + "\")";
}

std::string positions_problem(const std::vector<Vec3>& vertices, const std::string& whose) {
    for (size_t i = 0; i < vertices.size(); ++i) {
        const Vec3& v = vertices[i];
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) {
            return whose + ": vertex " + std::to_string(i) +
                   " has a coordinate that is not a finite number";
        }
    }
    return {};
}

std::string mesh_problem(const ImportedMesh& mesh, const std::string& label, size_t colours) {
    const auto vertex_count = static_cast<int64_t>(mesh.vertices.size());
    if (vertex_count > kMaxCount || static_cast<int64_t>(mesh.triangles.size()) > kMaxCount) {
        return label + " has more " + (vertex_count > kMaxCount ? "vertices" : "triangles") +
               " than the " + std::to_string(kMaxCount) + " an object file can count";
    }
    if (mesh.targets.size() >= static_cast<size_t>(kMaxListedObjects)) {
        return label + " has " + std::to_string(mesh.targets.size()) +
               " morph targets; with the mesh they would be more than the " +
               std::to_string(kMaxListedObjects) + " objects an object file holds";
    }
    std::string problem = positions_problem(mesh.vertices, label);
    if (!problem.empty()) return problem;
    for (size_t i = 0; i < mesh.triangles.size(); ++i) {
        const Triangle& t = mesh.triangles[i];
        for (const int32_t corner : t.v) {
            if (corner < 0 || corner >= vertex_count) {
                return label + ": triangle " + std::to_string(i) + " uses vertex " +
                       std::to_string(corner) + " of " + std::to_string(vertex_count);
            }
        }
        if (t.colour < 0 || static_cast<size_t>(t.colour) >= colours) {
            return label + ": triangle " + std::to_string(i) + " has no colour";
        }
    }
    for (size_t j = 0; j < mesh.targets.size(); ++j) {
        const MorphShape& target = mesh.targets[j];
        const std::string whose = label + ", morph target " + std::to_string(j + 1) + " (\"" +
                                  display_text(target.name) + "\")";
        if (target.vertices.size() != mesh.vertices.size()) {
            return whose + " has " + std::to_string(target.vertices.size()) +
                   " vertices where the mesh has " + std::to_string(mesh.vertices.size());
        }
        problem = positions_problem(target.vertices, whose);
        if (!problem.empty()) return problem;
    }
    return {};
}

// Blanks would split the name in a project file; control characters show as nothing.
std::string without_blanks(std::string name) {
    name = name.substr(0, name.find('\0'));
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) c = '_';
    }
    return name;
}

// `raw` (or `fallback` when it has no name) made fit and unique among `taken`, which it joins.
std::string unique_name(const std::string& raw, const std::string& fallback,
                        std::set<std::string>& taken) {
    std::string wanted = without_blanks(raw);
    if (wanted.empty()) wanted = fallback;
    std::string name = cut_object_name(wanted);
    for (int n = 2; taken.count(name) > 0; ++n) {
        const std::string suffix = "~" + std::to_string(n);
        name = cut_object_name(wanted, kMaxObjectNameBytes - suffix.size()) + suffix;
    }
    taken.insert(name);
    return name;
}

}  // namespace

std::string imported_scene_problem(const ImportedScene& scene) {
    if (scene.meshes.size() > static_cast<size_t>(kMaxListedObjects)) {
        return "the file holds " + std::to_string(scene.meshes.size()) +
               " meshes; an object file holds at most " + std::to_string(kMaxListedObjects);
    }
    for (size_t i = 0; i < scene.meshes.size(); ++i) {
        const std::string problem = mesh_problem(
            scene.meshes[i], mesh_label(i, scene.meshes[i].name), scene.palette.size());
        if (!problem.empty()) return problem;
    }
    return {};
}

void finish_object_names(ImportedScene& scene) {
    std::set<std::string> mesh_names;
    for (size_t i = 0; i < scene.meshes.size(); ++i) {
        ImportedMesh& mesh = scene.meshes[i];
        mesh.name = unique_name(mesh.name, "mesh" + std::to_string(i + 1), mesh_names);
        std::set<std::string> in_file = {mesh.name};
        for (size_t j = 0; j < mesh.targets.size(); ++j) {
            MorphShape& target = mesh.targets[j];
            target.name = unique_name(target.name, "target" + std::to_string(j + 1), in_file);
        }
    }
}

std::vector<QxmObject> qxm_objects_for(const ImportedMesh& mesh) {
    std::vector<QxmObject> objects;
    objects.reserve(mesh.targets.size() + 1);
    objects.push_back(QxmObject{mesh.name, mesh.vertices, mesh.triangles});
    for (const MorphShape& target : mesh.targets) {
        objects.push_back(QxmObject{target.name, target.vertices, mesh.triangles});
    }
    return objects;
}

}  // namespace warpkit

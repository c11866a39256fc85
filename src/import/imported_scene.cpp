#include "import/imported_scene.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>

#include "base/display_text.h"
#include "base/editor_state.h"
#include "model/qxm_reader.h"

namespace warpkit {
namespace {

constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();

long long as_ll(int64_t value) {
    return static_cast<long long>(value);
}

BilingualText mesh_label(size_t index, const std::string& name) {
    return format_both({"メッシュ %zu（%s）", "mesh %zu (%s)"}, index + 1, quoted_name(name));
}

BilingualText positions_problem(const std::vector<Vec3>& vertices, const BilingualText& whose) {
    for (size_t i = 0; i < vertices.size(); ++i) {
        const Vec3& v = vertices[i];
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) {
            return inside(whose, format_both({"頂点 %zu の座標が有限の数ではありません",
                                              "vertex %zu has a coordinate that is not a finite "
                                              "number"},
                                             i));
        }
    }
    return {};
}

BilingualText mesh_problem(const ImportedMesh& mesh, const BilingualText& label, size_t colours) {
    const auto vertex_count = static_cast<int64_t>(mesh.vertices.size());
    if (vertex_count > kMaxCount || static_cast<int64_t>(mesh.triangles.size()) > kMaxCount) {
        const BilingualText what = vertex_count > kMaxCount ? BilingualText{"頂点", "vertices"}
                                                            : BilingualText{"三角形", "triangles"};
        return format_both({"%sの%sがオブジェクトファイルで数えられる %lld 個を超えています",
                            "%s has more %s than the %lld an object file can count"},
                           label, what, as_ll(kMaxCount));
    }
    if (mesh.targets.size() >= static_cast<size_t>(kMaxListedObjects)) {
        return format_both({"%sにはモーフターゲットが %zu 個あり、メッシュと合わせるとオブジェクト"
                            "ファイルに入る %d 個を超えます",
                            "%s has %zu morph targets; with the mesh they would be more than the "
                            "%d objects an object file holds"},
                           label, mesh.targets.size(), kMaxListedObjects);
    }
    // Points and lines give no surface to morph; written, they would be an object nothing shows.
    if (mesh.triangles.empty()) {
        return format_both({"%sには三角形がありません（点と線だけのメッシュは読み込めません）",
                            "%s has no triangles (a mesh of points or lines alone is not "
                            "imported)"},
                           label);
    }
    BilingualText problem = positions_problem(mesh.vertices, label);
    if (!problem.empty()) return problem;
    for (size_t i = 0; i < mesh.triangles.size(); ++i) {
        const Triangle& t = mesh.triangles[i];
        for (const int32_t corner : t.v) {
            if (corner < 0 || corner >= vertex_count) {
                return inside(label,
                              format_both({"三角形 %zu が頂点 %d を使っていますが、頂点は %lld "
                                           "個です",
                                           "triangle %zu uses vertex %d of %lld"},
                                          i, corner, as_ll(vertex_count)));
            }
        }
        if (t.colour < 0 || static_cast<size_t>(t.colour) >= colours) {
            return inside(
                label,
                format_both({"三角形 %zu に色がありません", "triangle %zu has no colour"}, i));
        }
    }
    for (size_t j = 0; j < mesh.targets.size(); ++j) {
        const MorphShape& target = mesh.targets[j];
        const BilingualText whose =
            format_both({"%s、モーフターゲット %zu（%s）", "%s, morph target %zu (%s)"}, label,
                        j + 1, quoted_name(target.name));
        if (target.vertices.size() != mesh.vertices.size()) {
            return format_both({"%sの頂点は %zu 個ですが、メッシュの頂点は %zu 個です",
                                "%s has %zu vertices where the mesh has %zu"},
                               whose, target.vertices.size(), mesh.vertices.size());
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

// `wanted` (or `fallback` when it has no name) made fit and unique among `taken`, which it
// joins.
std::string unique_name(const std::string& wanted, const std::string& fallback,
                        std::set<std::string>& taken) {
    std::string fitting = without_blanks(wanted);
    if (fitting.empty()) fitting = fallback;
    std::string name = cut_object_name(fitting);
    for (int n = 2; taken.count(name) > 0; ++n) {
        const std::string suffix = "~" + std::to_string(n);
        name = cut_object_name(fitting, kMaxObjectNameBytes - suffix.size()) + suffix;
    }
    taken.insert(name);
    return name;
}

// "3 smile" as the third morph target is how a numbered export labels the target of slot 3.
std::string without_slot_number(const std::string& name, size_t position) {
    if (position > static_cast<size_t>(kTargetCount)) return name;
    const std::string label = std::to_string(position) + " ";
    if (name.size() <= label.size() || name.compare(0, label.size(), label) != 0) return name;
    return name.substr(label.size());
}

}  // namespace

int64_t import_position_budget() {
    constexpr int64_t kMost = int64_t{1} << 27;
    constexpr int64_t kLeast = int64_t{1} << 20;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_bytes = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page_bytes <= 0) return kLeast;
    const int64_t eighth = static_cast<int64_t>(pages) / 8 * page_bytes;
    return std::clamp(eighth / static_cast<int64_t>(sizeof(Vec3)), kLeast, kMost);
}

BilingualText out_of_memory(const BilingualText& file) {
    return format_both(
        {"%s を読み込むにはメモリが足りません", "there is not enough memory to import %s"}, file);
}

BilingualText too_many_meshes(size_t count) {
    return format_both(
        {"ファイルにはメッシュが %zu 個ありますが、オブジェクトファイルに入るのは %d "
         "個までです",
         "the file holds %zu meshes; an object file holds at most %d"},
        count, kMaxListedObjects);
}

BilingualText imported_scene_problem(const ImportedScene& scene) {
    if (scene.meshes.size() > static_cast<size_t>(kMaxListedObjects))
        return too_many_meshes(scene.meshes.size());
    for (size_t i = 0; i < scene.meshes.size(); ++i) {
        const BilingualText problem = mesh_problem(
            scene.meshes[i], mesh_label(i, scene.meshes[i].name), scene.palette.size());
        if (!problem.empty()) return problem;
    }
    return {};
}

BilingualText inside(const BilingualText& part, const BilingualText& problem) {
    return format_both({"%s：%s", "%s: %s"}, part, problem);
}

BilingualText quoted_name(const std::string& name) {
    const std::string shown = display_text(name);
    return {"「" + shown + "」", "\"" + shown + "\""};
}

void leave_out_meshes_without_triangles(ImportedScene& scene) {
    const auto has_triangles = [](const ImportedMesh& mesh) { return !mesh.triangles.empty(); };
    if (std::none_of(scene.meshes.begin(), scene.meshes.end(), has_triangles)) return;
    std::vector<ImportedMesh> kept;
    constexpr size_t kLeftOut = SIZE_MAX;
    std::vector<size_t> kept_as(scene.meshes.size(), kLeftOut);
    for (size_t i = 0; i < scene.meshes.size(); ++i) {
        if (!has_triangles(scene.meshes[i])) continue;
        kept_as[i] = kept.size();
        kept.push_back(std::move(scene.meshes[i]));
    }
    std::vector<WeightsAnimation> animations;
    for (WeightsAnimation& animation : scene.animations) {
        if (animation.mesh >= kept_as.size() || kept_as[animation.mesh] == kLeftOut) continue;
        animation.mesh = kept_as[animation.mesh];
        animations.push_back(std::move(animation));
    }
    scene.meshes = std::move(kept);
    scene.animations = std::move(animations);
}

std::vector<RenamedObject> finish_object_names(ImportedScene& scene) {
    std::vector<RenamedObject> renamed;
    // `wanted` is the name without a slot number, a copy: `name` changes
    const auto keep = [&](std::string& name, std::string wanted, const std::string& fallback,
                          std::set<std::string>& taken, size_t mesh, int target) {
        std::string full = std::move(name);
        name = unique_name(wanted, fallback, taken);
        if (!wanted.empty() && name != wanted)
            renamed.push_back({mesh, target, std::move(full), name});
    };
    std::set<std::string> mesh_names;
    for (size_t i = 0; i < scene.meshes.size(); ++i) {
        ImportedMesh& mesh = scene.meshes[i];
        keep(mesh.name, mesh.name, "mesh" + std::to_string(i + 1), mesh_names, i, -1);
        std::set<std::string> in_file = {mesh.name};
        for (size_t j = 0; j < mesh.targets.size(); ++j) {
            std::string& name = mesh.targets[j].name;
            keep(name, without_slot_number(name, j + 1), "target" + std::to_string(j + 1), in_file,
                 i, static_cast<int>(j));
        }
    }
    return renamed;
}

BilingualText renamed_text(const ImportedScene& scene, const RenamedObject& renamed) {
    const BilingualText full = quoted_name(renamed.full);
    const BilingualText stored = quoted_name(renamed.stored);
    if (renamed.target < 0) {
        return format_both({"メッシュ %s を %s として保存", "mesh %s is stored as %s"}, full,
                           stored);
    }
    return format_both({"メッシュ %s、モーフターゲット %d：%s を %s として保存",
                        "mesh %s, morph target %d: %s is stored as %s"},
                       quoted_name(scene.meshes[renamed.mesh].name), renamed.target + 1, full,
                       stored);
}

std::vector<QxmObjectView> qxm_objects_for(const ImportedMesh& mesh) {
    std::vector<QxmObjectView> objects;
    objects.reserve(mesh.targets.size() + 1);
    const auto view = [&mesh](const std::string& name, const std::vector<Vec3>& vertices) {
        return QxmObjectView{name, vertices.data(), vertices.size(), mesh.triangles.data(),
                             mesh.triangles.size()};
    };
    objects.push_back(view(mesh.name, mesh.vertices));
    for (const MorphShape& target : mesh.targets)
        objects.push_back(view(target.name, target.vertices));
    return objects;
}

}  // namespace warpkit

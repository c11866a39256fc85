#include "export/object_listing.h"

#include <algorithm>

#include "base/texts.h"
#include "export/printable.h"
#include "import/scene_choice.h"

namespace warpkit::exporting {

namespace {

// Characters, not bytes, so names in Japanese line up with the others as well as they can.
size_t code_points(const std::string& utf8) {
    size_t count = 0;
    for (unsigned char c : utf8) count += (c & 0xC0) != 0x80;
    return count;
}

std::string counted(size_t count, const char* one, const char* many) {
    return format_text("%zu %s", count, count == 1 ? one : many);
}

// A name as the file gives it, quoted, and what an object file keeps of it when that differs.
std::string full_and_kept(const std::string& full, const std::string& kept) {
    std::string out = "\"" + printable(full) + "\"";
    if (full != kept) out += " (kept as " + printable(kept) + ")";
    return out;
}

const char* interpolation_name(Interpolation interpolation) {
    switch (interpolation) {
        case Interpolation::kStep:
            return "step";
        case Interpolation::kCubicSpline:
            return "cubic spline";
        case Interpolation::kLinear:
            break;
    }
    return "linear";
}

// The first times and the last: an animation sampled at every frame has thousands.
std::string key_times(const std::vector<float>& times) {
    constexpr size_t kShown = 12;
    std::string out;
    for (size_t k = 0; k < times.size(); ++k) {
        if (k == kShown - 1 && times.size() > kShown) {
            out += ", ...";
            k = times.size() - 1;
        }
        out += format_text(k == 0 ? "%g" : ", %g", static_cast<double>(times[k]));
    }
    return out;
}

}  // namespace

std::string scene_listing(const std::string& path, const ImportedScene& scene) {
    size_t clips = 0;
    for (size_t a = 0; a < scene.animations.size(); ++a) {
        clips += a == 0 || scene.animations[a].clip != scene.animations[a - 1].clip;
    }
    std::string out = printable(path) + ": " + counted(scene.meshes.size(), "mesh", "meshes") +
                      ", " + counted(clips, "animation", "animations") +
                      " of morph target weights\n";
    for (size_t m = 0; m < scene.meshes.size(); ++m) {
        const ImportedMesh& mesh = scene.meshes[m];
        out += format_text("mesh %zu ", m) + full_and_kept(name_in_file(scene, m), mesh.name) +
               ": " + counted(mesh.vertices.size(), "vertex", "vertices") + ", " +
               counted(mesh.triangles.size(), "triangle", "triangles") + ", " +
               counted(mesh.targets.size(), "morph target", "morph targets") + "\n";
        for (size_t j = 0; j < mesh.targets.size(); ++j) {
            out +=
                format_text("  target %zu ", j) +
                full_and_kept(name_in_file(scene, m, static_cast<int>(j)), mesh.targets[j].name) +
                "\n";
        }
    }
    for (size_t a = 0; a < scene.animations.size(); ++a) {
        const WeightsAnimation& animation = scene.animations[a];
        if (a == 0 || animation.clip != scene.animations[a - 1].clip) {
            double longest = 0.0;
            size_t meshes = 0;
            for (const WeightsAnimation& same : scene.animations) {
                if (same.clip != animation.clip) continue;
                longest = std::max(longest, static_cast<double>(same.times.back()));
                ++meshes;
            }
            out += format_text("animation %zu", animation.clip);
            if (!animation.name.empty()) out += " \"" + printable(animation.name) + "\"";
            out += format_text(": %g s, the weights of ", longest) +
                   counted(meshes, "mesh", "meshes") + "\n";
        }
        out += "  " + printable(mesh_label(scene, animation.mesh).en) + ": " +
               counted(animation.times.size(), "key", "keys") + " at " +
               key_times(animation.times) + " s (" + interpolation_name(animation.interpolation) +
               ")\n";
    }
    return out;
}

std::string object_listing(const std::string& path, const ObjectTable& table) {
    const size_t objects = table.objects.size();
    std::string out =
        printable(path) + format_text(": %zu object%s, %d colour%s\n", objects,
                                      objects == 1 ? "" : "s", static_cast<int>(table.colour_count),
                                      table.colour_count == 1 ? "" : "s");
    if (objects == 0) return out;
    out += "index  name             vertices  triangles\n";
    for (size_t i = 0; i < objects; ++i) {
        const ObjectEntry& entry = table.objects[i];
        std::string name = printable(entry.name);
        name.append(code_points(name) < 16 ? 16 - code_points(name) : 1, ' ');
        out += format_text("%5zu  ", i) + name +
               format_text("%9d  %9d\n", static_cast<int>(entry.vertex_count),
                           static_cast<int>(entry.triangle_count));
    }
    return out;
}

}  // namespace warpkit::exporting

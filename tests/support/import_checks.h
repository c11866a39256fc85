#pragma once
// What the in-process mesh readers (glTF, OBJ) promise about any input, however hostile: a
// refusal has a reason in both languages and leaves nothing behind; what is accepted can be
// written as an object file and read back, under names an object file and a project keep; an
// animation gives keys within 0.01 percent of it. The fuzz targets abort on a non-empty answer;
// the hostile-input test replays the saved findings through the same checks. Header-only, so
// each of them compiles it with its own sanitizers.
#include <set>
#include <string>

#include "import/animation_keys.h"
#include "import/any_object_reader.h"
#include "import/gltf_reader.h"
#include "import/obj_reader.h"
#include "model/qxm_writer.h"

namespace warpkit::testing {

// Small enough that a fuzz run never waits on one input.
inline ImportLimits fuzz_limits() {
    ImportLimits limits;
    limits.max_positions = int64_t{1} << 16;
    limits.max_file_bytes = int64_t{1} << 20;
    return limits;
}

// Empty when a reason reads in both languages: the Japanese is neither the English again nor
// ASCII alone, as an English reason left untranslated would be.
inline std::string untranslated(const BilingualText& reason) {
    if (reason.en.empty() || reason.ja.empty()) return "a reason is missing in one language";
    if (reason.ja == reason.en) return "the Japanese reason is the English one: " + reason.en;
    for (const char c : reason.ja) {
        if (static_cast<unsigned char>(c) >= 0x80) return {};
    }
    return "the Japanese reason is ASCII only: " + reason.ja;
}

inline std::string check_import(ImportOutcome outcome, ImportedScene& scene) {
    outcome = finish_import(outcome, scene);
    if (!outcome.ok) {
        const std::string language = untranslated(outcome.reason);
        if (!language.empty()) return "a refusal: " + language;
        if (!scene.meshes.empty() || !scene.animations.empty())
            return "a refused input left meshes behind";
        return {};
    }
    std::set<std::string> names;
    for (const ImportedMesh& mesh : scene.meshes) {
        for (const std::string* name : {&mesh.name}) {
            if (name->empty() || name->size() > kMaxObjectNameBytes)
                return "a mesh name does not fit";
            if (name->find_first_of(" \t\r\n") != std::string::npos)
                return "a mesh name has a blank";
            if (!names.insert(*name).second) return "two meshes have one name";
        }
        const std::string problem = qxm_contents_problem(qxm_objects_for(mesh), scene.palette);
        if (!problem.empty()) return "an accepted mesh cannot be written: " + problem;
    }
    for (const RenamedObject& renamed : scene.renamed) {
        if (renamed.mesh >= scene.meshes.size()) return "a renamed object is no mesh";
        const ImportedMesh& mesh = scene.meshes[renamed.mesh];
        if (renamed.target >= static_cast<int>(mesh.targets.size()))
            return "a renamed object is no morph target";
        const std::string& name =
            renamed.target < 0 ? mesh.name : mesh.targets[static_cast<size_t>(renamed.target)].name;
        if (renamed.stored != name || renamed.full == name)
            return "a renamed object is not named as reported";
    }
    for (const WeightsAnimation& animation : scene.animations) {
        if (animation.mesh >= scene.meshes.size() ||
            animation.targets != scene.meshes[animation.mesh].targets.size()) {
            return "an animation belongs to no mesh with its targets";
        }
        // Only what a fuzz run can afford to sample.
        if (animation.times.front() >= 0.0f && animation.times.back() <= 20.0f) {
            const AnimationKeys keys = keys_from_animation(animation, 30.0);
            if (!keys.problem.empty()) return keys.tracks.empty() ? "" : "refused keys are left";
            if (keys.tracks.size() != animation.targets) return "the animation gives no keys";
            if (largest_key_error(animation, keys, 30.0) > 0.01)
                return "the keys are off the animation";
        }
    }
    return {};
}

inline std::string check_gltf_bytes(const std::string& bytes) {
    ImportedScene scene;
    return check_import(read_gltf_bytes(bytes, fuzz_limits(), scene), scene);
}

inline std::string check_obj_text(const std::string& text) {
    ImportedScene scene;
    return check_import(read_obj_text(text, "fuzz", fuzz_limits(), scene), scene);
}

}  // namespace warpkit::testing

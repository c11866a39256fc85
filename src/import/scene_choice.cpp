#include "import/scene_choice.h"

#include <algorithm>

#include "import/animation_keys.h"

namespace warpkit {
namespace {

BilingualText listed(const std::vector<BilingualText>& labels) {
    BilingualText list;
    for (size_t i = 0; i < labels.size(); ++i)
        list += (i ? same_in_both(", ") : BilingualText{}) + labels[i];
    return list;
}

std::vector<BilingualText> mesh_labels(const ImportedScene& scene,
                                       const std::vector<size_t>& which) {
    std::vector<BilingualText> labels;
    for (const size_t m : which) labels.push_back(mesh_label(scene, m));
    return labels;
}

std::vector<BilingualText> animation_labels(const ImportedScene& scene,
                                            const std::vector<size_t>& which) {
    std::vector<BilingualText> labels;
    for (const size_t a : which) labels.push_back(animation_label(scene.animations[a]));
    return labels;
}

// Each of the file's animations once, by the first of its weights animations.
std::vector<size_t> first_of_each_clip(const ImportedScene& scene) {
    std::vector<size_t> firsts;
    for (size_t a = 0; a < scene.animations.size(); ++a) {
        const bool seen = std::any_of(firsts.begin(), firsts.end(), [&](size_t f) {
            return scene.animations[f].clip == scene.animations[a].clip;
        });
        if (!seen) firsts.push_back(a);
    }
    return firsts;
}

// The meshes a choice of mesh is made among: those with morph targets, or every one.
std::vector<size_t> candidate_meshes(const ImportedScene& scene) {
    std::vector<size_t> with_targets, all;
    for (size_t m = 0; m < scene.meshes.size(); ++m) {
        all.push_back(m);
        if (!scene.meshes[m].targets.empty()) with_targets.push_back(m);
    }
    return with_targets.empty() ? all : with_targets;
}

std::vector<size_t> without(std::vector<size_t> items, size_t taken) {
    items.erase(std::remove(items.begin(), items.end(), taken), items.end());
    return items;
}

BilingualText mesh_problem(const ImportedScene& scene, const std::string& asked,
                           const std::vector<size_t>& named) {
    std::vector<size_t> all(scene.meshes.size());
    for (size_t m = 0; m < all.size(); ++m) all[m] = m;
    if (named.empty()) {
        return format_both({"メッシュ %s はありません（ファイルのメッシュ：%s）",
                            "there is no mesh %s (the file's meshes: %s)"},
                           quoted_name(asked), listed(mesh_labels(scene, all)));
    }
    return format_both({"%s という名前のメッシュが複数あります（%s）。番号で選んでください",
                        "several meshes are named %s (%s); choose one by its index"},
                       quoted_name(asked), listed(mesh_labels(scene, named)));
}

}  // namespace

std::vector<size_t> items_named(const std::string& asked, size_t count,
                                const std::function<bool(size_t item)>& named) {
    const bool number =
        !asked.empty() && asked.size() < 10 &&
        std::all_of(asked.begin(), asked.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (number && std::stoul(asked) < count) return {std::stoul(asked)};
    std::vector<size_t> found;
    for (size_t i = 0; i < count; ++i) {
        if (named(i)) found.push_back(i);
    }
    return found;
}

size_t default_mesh(const ImportedScene& scene) {
    if (!scene.animations.empty()) return scene.animations.front().mesh;
    for (size_t m = 0; m < scene.meshes.size(); ++m) {
        if (!scene.meshes[m].targets.empty()) return m;
    }
    return 0;
}

std::optional<size_t> default_animation(const ImportedScene& scene, size_t mesh) {
    const std::vector<size_t> found = animations_of(scene, mesh);
    if (found.empty()) return std::nullopt;
    return found.front();
}

const std::string& name_in_file(const ImportedScene& scene, size_t mesh, int target) {
    for (const RenamedObject& renamed : scene.renamed) {
        if (renamed.mesh == mesh && renamed.target == target) return renamed.full;
    }
    const ImportedMesh& found = scene.meshes[mesh];
    return target < 0 ? found.name : found.targets[static_cast<size_t>(target)].name;
}

BilingualText mesh_label(const ImportedScene& scene, size_t mesh) {
    const std::string& name = name_in_file(scene, mesh);
    const BilingualText number = format_both({"メッシュ %zu", "mesh %zu"}, mesh);
    return name.empty() ? number : number + BilingualText{"", " "} + quoted_name(name);
}

BilingualText animation_label(const WeightsAnimation& animation) {
    BilingualText label = format_both({"アニメーション %zu", "animation %zu"}, animation.clip);
    if (!animation.name.empty()) label += BilingualText{"", " "} + quoted_name(animation.name);
    const double seconds = animation.times.empty() ? 0.0 : animation.times.back();
    return label + format_both({"（%g 秒）", " (%g s)"}, seconds);
}

namespace {

// The weights animations of the animation `asked` names, one per mesh it drives; or, when it
// names none or several, why.
std::vector<size_t> animations_named(const ImportedScene& scene, const std::string& asked,
                                     BilingualText& problem) {
    const std::vector<size_t> clips = first_of_each_clip(scene);
    size_t clip_count = 0;
    for (const WeightsAnimation& animation : scene.animations)
        clip_count = std::max(clip_count, animation.clip + 1);
    const std::vector<size_t> named = items_named(asked, clip_count, [&](size_t c) {
        return std::any_of(
            scene.animations.begin(), scene.animations.end(),
            [&](const WeightsAnimation& a) { return a.clip == c && a.name == asked; });
    });
    std::vector<size_t> same;  // the first weights animation of each clip named
    for (const size_t a : clips) {
        if (std::count(named.begin(), named.end(), scene.animations[a].clip) > 0) same.push_back(a);
    }
    if (same.size() > 1) {
        problem = format_both({"%s という名前のアニメーションが複数あります（%s）。番号で選んで"
                               "ください",
                               "several animations are named %s (%s); choose one by its index"},
                              quoted_name(asked), listed(animation_labels(scene, same)));
        return {};
    }
    if (same.empty()) {
        problem = clips.empty()
                      ? format_both({"ウェイトを動かすアニメーション %s はありません（ファイルには"
                                     "ウェイトのアニメーションがありません）",
                                     "there is no animation %s of morph target weights (the file "
                                     "has none)"},
                                    quoted_name(asked))
                      : format_both({"ウェイトを動かすアニメーション %s はありません（ウェイトの"
                                     "アニメーション：%s）",
                                     "there is no animation %s of morph target weights (the "
                                     "file's: %s)"},
                                    quoted_name(asked), listed(animation_labels(scene, clips)));
        return {};
    }
    std::vector<size_t> driving;
    for (size_t a = 0; a < scene.animations.size(); ++a) {
        if (scene.animations[a].clip == scene.animations[same.front()].clip) driving.push_back(a);
    }
    return driving;
}

// The animation asked for, of the mesh asked for, or bringing its mesh (the first it drives).
void take_animation_asked(const ImportedScene& scene, bool mesh_asked, const std::string& asked,
                          SceneChoice& choice) {
    const std::vector<size_t> driving = animations_named(scene, asked, choice.problem);
    if (driving.empty()) return;
    const WeightsAnimation& first = scene.animations[driving.front()];
    std::vector<size_t> meshes;
    for (const size_t a : driving) meshes.push_back(scene.animations[a].mesh);
    if (!mesh_asked) {
        choice.mesh = meshes.front();
        choice.animation = driving.front();
        if (meshes.size() > 1) {
            choice.unasked.push_back(format_both(
                {"%s は %zu 個のメッシュのウェイトを動かします。%s を使います（ほか：%s。--mesh "
                 "名前|番号 で選べます）",
                 "%s drives the weights of %zu meshes: %s is taken; the others: %s; --mesh "
                 "NAME|INDEX chooses"},
                animation_label(first), meshes.size(), mesh_label(scene, choice.mesh),
                listed(mesh_labels(scene, without(meshes, choice.mesh)))));
        }
        return;
    }
    const auto it = std::find(meshes.begin(), meshes.end(), choice.mesh);
    if (it == meshes.end()) {
        choice.problem = format_both({"%s は %s のウェイトを動かしません（動かすのは %s）",
                                      "%s does not drive the weights of %s (it drives %s)"},
                                     animation_label(first), mesh_label(scene, choice.mesh),
                                     listed(mesh_labels(scene, meshes)));
        return;
    }
    choice.animation = driving[static_cast<size_t>(it - meshes.begin())];
}

// What is taken unasked: the default mesh unless one was asked for, and its first animation.
void take_defaults(const ImportedScene& scene, bool mesh_asked, SceneChoice& choice) {
    if (!mesh_asked) {
        choice.mesh = default_mesh(scene);
        const std::vector<size_t> candidates = candidate_meshes(scene);
        if (candidates.size() > 1) {
            choice.unasked.push_back(format_both(
                {"ファイルには%sメッシュが %zu 個あります。%s を使います（ほか：%s。--mesh "
                 "名前|番号 で選べます）",
                 "the file holds %2$zu meshes%1$s: %3$s is taken; the others: %4$s; --mesh "
                 "NAME|INDEX chooses"},
                scene.meshes[candidates.front()].targets.empty()
                    ? BilingualText{}
                    : BilingualText{"モーフターゲットのある", " with morph targets"},
                candidates.size(), mesh_label(scene, choice.mesh),
                listed(mesh_labels(scene, without(candidates, choice.mesh)))));
        }
    }
    choice.animation = default_animation(scene, choice.mesh);
    const std::vector<size_t> offered = animations_of(scene, choice.mesh);
    if (offered.size() > 1) {
        choice.unasked.push_back(format_both(
            {"%s のウェイトを動かすアニメーションが %zu 個あります。%s を使います（ほか：%s。"
             "--animation 名前|番号 で選べます）",
             "%s has %zu animations of its weights: %s is taken; the others: %s; --animation "
             "NAME|INDEX chooses"},
            mesh_label(scene, choice.mesh), offered.size(),
            animation_label(scene.animations[*choice.animation]),
            listed(animation_labels(scene, without(offered, *choice.animation)))));
    }
}

}  // namespace

SceneChoice choose_in_scene(const ImportedScene& scene, const std::string& asked_mesh,
                            const std::string& asked_animation) {
    SceneChoice choice;
    if (!asked_mesh.empty()) {
        const std::vector<size_t> named =
            items_named(asked_mesh, scene.meshes.size(), [&](size_t m) {
                return scene.meshes[m].name == asked_mesh || name_in_file(scene, m) == asked_mesh;
            });
        if (named.size() != 1) {
            choice.problem = mesh_problem(scene, asked_mesh, named);
            return choice;
        }
        choice.mesh = named.front();
    }
    if (asked_animation.empty()) {
        take_defaults(scene, !asked_mesh.empty(), choice);
    } else {
        take_animation_asked(scene, !asked_mesh.empty(), asked_animation, choice);
    }
    return choice;
}

}  // namespace warpkit

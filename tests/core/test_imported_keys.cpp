// The keys a source load with its morph targets puts on the session's slots from the file it
// came from: the animation's when taken, the default weights without one, and the timeline's
// frames only when an animation was taken.
#include <gtest/gtest.h>

#include <vector>

#include "session/import_steps.h"
#include "session/session.h"

namespace warpkit {
namespace {

using Keys = std::vector<std::pair<int32_t, float>>;

Keys keys_of(const KeyTrack& track) {
    Keys keys;
    for (size_t i = 0; i < track.frames.size(); ++i)
        keys.emplace_back(track.frames[i], track.weights[i]);
    return keys;
}

// A triangle with `targets` morph targets, each lifting it by its number.
ImportedScene triangle_scene(size_t targets) {
    ImportedScene scene;
    ImportedMesh mesh{"tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {make_triangle(0, 1, 2)}, {}, {}};
    for (size_t j = 0; j < targets; ++j) {
        MorphShape shape{"t" + std::to_string(j), mesh.vertices};
        for (Vec3& v : shape.vertices) v.z = float(j + 1);
        mesh.targets.push_back(shape);
    }
    scene.meshes.push_back(mesh);
    return scene;
}

// Target j goes from 0 to j / 10 at 0.5 s and back to 0 at 1 s.
WeightsAnimation rise_and_fall(size_t targets, float seconds = 1.0f) {
    WeightsAnimation animation;
    animation.name = "nod";
    animation.targets = targets;
    animation.times = {0.0f, seconds / 2, seconds};
    for (int key = 0; key < 3; ++key) {
        for (size_t j = 0; j < targets; ++j)
            animation.values.push_back(key == 1 ? float(j + 1) / 10 : 0.0f);
    }
    return animation;
}

TEST(ImportedKeys, the_slots_take_the_animation_or_the_default_weights_as_project_would) {
    struct Case {
        const char* what;
        size_t targets;
        bool animated;
        std::vector<float> weights;
        bool take;
        float seconds;
        int32_t max_frame;         // after the load (100 before)
        std::vector<Keys> slots;   // keys of targets 1, 2 ... that show
        const char* problem = "";  // in the English reason
    };
    const Keys plain = {{0, 0.0f}};
    const Case cases[] = {
        {"animation taken, nine targets",
         9,
         true,
         {},
         true,
         1.0f,
         30,
         {{{0, 0}, {15, 10}, {30, 0}},
          {{0, 0}, {15, 20}, {30, 0}},
          {},
          {},
          {},
          {},
          {},
          {{0, 0}, {15, 80}, {30, 0}}}},
        {"animation left", 2, true, {0.5f}, false, 1.0f, 100, {plain, plain}},
        {"default weights only",
         3,
         false,
         {0.5f, 0.25f},
         true,
         1.0f,
         100,
         {{{0, 50}}, {{0, 25}}, plain}},
        {"neither", 2, false, {}, true, 1.0f, 100, {plain, plain}},
        {"too long to key",
         1,
         true,
         {},
         true,
         1e6f,
         100,
         {plain},
         "lasts 30000001 frames at 30 frames a second, more than the 16777216"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImportedScene scene = triangle_scene(c.targets);
        scene.meshes[0].weights = c.weights;
        if (c.animated) {
            scene.has_animation = true;
            scene.animation = rise_and_fall(c.targets, c.seconds);
        }
        EditorState state;
        state.max_frame = 100;
        state.current_frame = 60;
        ReadResult source;
        source.vertices = scene.meshes[0].vertices;
        source.vertex_count = 3;
        source.object_name = "tri";
        install_source(state, "/m/tri.qxm", source);
        const size_t loaded = std::min<size_t>(c.targets, kTargetCount);
        for (size_t j = 0; j < loaded; ++j) {
            install_target(state, int(j) + 1, "/m/tri.qxm",
                           read_result_of(scene.meshes[0].targets[j]));
        }

        const KeysToImport keys = keys_to_import(scene, 0, loaded, c.take, kDefaultKeyRate);
        EXPECT_NE(keys.problem.en.find(c.problem), std::string::npos) << keys.problem.en;
        EXPECT_EQ(keys.problem.empty(), !*c.problem);
        put_imported_keys(state, keys.keys);
        EXPECT_EQ(state.max_frame, c.max_frame);
        EXPECT_EQ(state.current_frame, std::min(60, c.max_frame));
        for (size_t j = 0; j < c.slots.size(); ++j) {
            if (c.slots[j].empty()) continue;
            EXPECT_EQ(keys_of(state.slots[j + 1].keys), c.slots[j]) << j;
        }
    }
}

}  // namespace
}  // namespace warpkit

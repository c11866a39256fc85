// The keys a source load with its morph targets puts on the session's slots: the chosen
// animation's when taken (and its frames), else the mesh's default weights at frame 0.
#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

#include "import/scene_choice.h"
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

TEST(ImportedKeys, the_first_eight_targets_take_the_animation_chosen_or_else_the_default_weights) {
    struct Case {
        const char* what;
        bool animated;
        AnimationAnswer answer;
        std::vector<float> weights;
        int32_t max_frame;  // 100 before
        Keys first, eighth;
    };
    const Keys plain = {{0, 0.0f}};
    const AnimationAnswer unanimated{AnimationChoice::kTake, std::nullopt};
    const Case cases[] = {
        {"taken",
         true,
         {AnimationChoice::kTake, 0},
         {},
         30,
         {{0, 0}, {15, 10}, {30, 0}},
         {{0, 0}, {15, 80}, {30, 0}}},
        {"the second taken",
         true,
         {AnimationChoice::kTake, 1},
         {},
         60,
         {{0, 0}, {60, 10}},
         {{0, 0}, {60, 80}}},
        {"left", true, {AnimationChoice::kLeave, std::nullopt}, {0.5f}, 100, plain, plain},
        {"default weights",
         false,
         unanimated,
         {0.5f, 0, 0, 0, 0, 0, 0, 0.25f},
         100,
         {{0, 50}},
         {{0, 25}}},
        {"neither", false, unanimated, {}, 100, plain, plain},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // a triangle with nine targets; "nod" takes each from 0 to (j + 1) / 10 at 0.5 s and
        // back at 1 s, "rise" to the same at 2 s
        ImportedScene scene;
        scene.meshes.push_back({"tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, {}, c.weights, {}});
        EditorState state;
        state.max_frame = 100;
        state.current_frame = 60;
        install_source(state, "/m/tri.qxm", read_result_of({"tri", scene.meshes[0].vertices}));
        for (int j = 0; j < 9; ++j) {
            scene.meshes[0].targets.push_back({"t", scene.meshes[0].vertices});
            if (j < kTargetCount) {
                install_target(state, j + 1, "/m/tri.qxm",
                               read_result_of(scene.meshes[0].targets[j]));
            }
        }
        if (c.animated) {
            WeightsAnimation nod{0, "nod", Interpolation::kLinear, {0.0f, 0.5f, 1.0f}, {}, 9, 0};
            for (int key = 0; key < 27; ++key)
                nod.values.push_back(key / 9 == 1 ? float(key % 9 + 1) / 10 : 0.0f);
            WeightsAnimation rise{0, "rise", Interpolation::kLinear, {0.0f, 2.0f}, {}, 9, 1};
            for (int key = 0; key < 18; ++key)
                rise.values.push_back(key / 9 == 1 ? float(key % 9 + 1) / 10 : 0.0f);
            scene.animations = {nod, rise};
        }

        const KeysToImport keys = keys_to_import(scene, 0, kTargetCount, c.answer, kDefaultKeyRate);
        EXPECT_TRUE(keys.problem.empty()) << keys.problem.en;
        put_imported_keys(state, keys.keys);
        EXPECT_EQ(state.max_frame, c.max_frame);
        EXPECT_EQ(state.current_frame, std::min(60, c.max_frame));
        EXPECT_EQ(keys_of(state.slots[1].keys), c.first);
        EXPECT_EQ(keys_of(state.slots[8].keys), c.eighth);
    }
}

// Names that meshes or animations share, names that look like numbers, an index past the end.
TEST(SceneChoice, a_name_or_index_takes_one_mesh_and_animation_or_says_why_not) {
    ImportedScene scene;
    for (const char* name : {"face", "face", "7"}) {
        scene.meshes.push_back({name, {{0, 0, 0}}, {}, {{"t", {{0, 0, 1}}}}, {}, {}});
    }
    for (const auto& [clip, mesh, name] :
         {std::tuple<size_t, size_t, const char*>{0, 0, "talk"}, {2, 1, "talk"}, {3, 2, ""}}) {
        scene.animations.push_back({mesh, name, Interpolation::kLinear, {0.0f, 1.0f}, {}, 1, clip});
    }
    struct Row {
        const char* mesh;
        const char* animation;
        size_t chosen_mesh;
        std::optional<size_t> chosen_animation;
        size_t unasked;
        std::string problem = "";
    };
    const Row rows[] = {
        {"", "", 0, 0, 1},
        {"1", "", 1, 1, 0},
        {"2", "", 2, 2, 0},
        {"7", "", 2, 2, 0},  // no mesh 7: the name
        {"", "2", 1, 1, 0},
        {"", "3", 2, 2, 0},
        {"face",
         "",
         0,
         {},
         0,
         "several meshes are named \"face\" (mesh 0 \"face\", mesh 1 \"face\"); choose one by "
         "its index"},
        {"",
         "talk",
         0,
         {},
         0,
         "several animations are named \"talk\" (animation 0 \"talk\" (1 s), animation 2 "
         "\"talk\" (1 s)); choose one by its index"},
        {"",
         "1",
         0,
         {},
         0,
         "there is no animation \"1\" of morph target weights (the file's: animation 0 \"talk\" "
         "(1 s), animation 2 \"talk\" (1 s), animation 3 (1 s))"},
        {"0",
         "2",
         0,
         {},
         0,
         "animation 2 \"talk\" (1 s) does not drive the weights of mesh 0 \"face\" (it drives "
         "mesh 1 \"face\")"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.mesh) + " / " + row.animation);
        const SceneChoice choice = choose_in_scene(scene, row.mesh, row.animation);
        EXPECT_EQ(choice.problem.en, row.problem);
        EXPECT_EQ(choice.problem.ja.empty(), row.problem.empty());
        if (!row.problem.empty()) continue;
        EXPECT_EQ(choice.mesh, row.chosen_mesh);
        EXPECT_EQ(choice.animation, row.chosen_animation);
        EXPECT_EQ(choice.unasked.size(), row.unasked);
    }
}

}  // namespace
}  // namespace warpkit

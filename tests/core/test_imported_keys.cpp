// The keys a source load with its morph targets puts on the session's slots: the chosen
// animation's when taken (and its frames), else the mesh's default weights at frame 0.
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
        scene.meshes.push_back({"tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, {}, c.weights});
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

}  // namespace
}  // namespace warpkit
